#pragma once
// The start the offline benchmarks share: the song and frame rate from the
// command line, [SONG] [FPS] (default: QUILLOW3.oxm in the build folder, 60),
// and every frame of the whole song played offline at that rate, handed to
// `sink`. Returns the frame rate, or 0 after printing why the song could not
// be played.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound/offline.h"
#include "tools/record/recorder.h"

inline int recordWholeSong(int argc, char** argv, const char* tool, RecordSink& sink) {
    const std::string path = argc > 1 ? argv[1] : COMPOFILLER_BUILD_DIR "/QUILLOW3.oxm";
    const int fps = argc > 2 ? std::atoi(argv[2]) : 60;
    std::vector<std::uint8_t> data;
    std::string error = "bad frame rate";
    std::unique_ptr<sound::OfflineSong> song;
    if (fps > 0 && sound::readModuleFile(path, data, error)) song = sound::OfflineSong::open(data.data(), data.size(), error);
    if (!song) {
        std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
        return 0;
    }
    RecordSpan span;
    span.fps = fps;
    recordFrames(*song, span, sink);
    return fps;
}
