// songgen: composes the demo's song and writes it as an XM module.
//
//   songgen OUT
//
// The output is the same, byte for byte, on every run: all sound is
// synthesised from fixed seeds, with no clock and no outside data.
//   instruments.cpp  the synthesised instruments and their slots
//   arrangement.cpp  the order-by-order plan of sections
//   patterns.cpp     the parts (drums, bass, chords, melodies) as patterns
#include <cstdio>
#include <string>

#include "tools/songgen/patterns.h"
#include "tools/xm/xm_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: songgen OUT.xm\n");
        return 2;
    }
    // Written beside the target and renamed into place, so an interrupted
    // build never leaves a half-written song that looks up to date.
    const std::string path = argv[1];
    const std::string partial = path + ".partial";
    if (!xm::writeFile(songgen::compose(), partial) || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        std::fprintf(stderr, "songgen: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
