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

#include "tools/songgen/patterns.h"
#include "tools/xm/xm_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: songgen OUT.xm\n");
        return 2;
    }
    if (!xm::writeFile(songgen::compose(), argv[1])) {
        std::fprintf(stderr, "songgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
