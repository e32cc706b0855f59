#pragma once
// Compares a recording of the sound output with the offline render of the
// same song: finds where the song starts in the recording, then walks both
// and counts dropouts (stretches where the recording stops following the
// render), finding the song again after each.
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/sound/offline.h"

namespace recording {

struct Dropout {
    std::int64_t referenceFrame = 0;  // where in the render the recording lost it
    std::int64_t skippedFrames = 0;   // how far the song moved on in the recording
};

struct Comparison {
    bool aligned = false;           // the song was found in the recording
    std::int64_t lag = 0;           // recording frame of reference frame 0
    std::int64_t comparedFrames = 0;
    std::int64_t badFrames = 0;     // differing by more than the tolerance
    std::vector<Dropout> dropouts;
};

// Both interleaved stereo 16-bit. Frames of the reference beyond the end of
// the recording are not compared.
Comparison compare(const std::vector<std::int16_t>& recorded, const std::vector<std::int16_t>& reference,
                   int toleranceLsb = 3);

// Float samples as a sound server turns them into 16 bits.
std::vector<std::int16_t> toPcm16(const std::vector<float>& samples);

// The 16-bit stereo samples of a WAV file written by compofiller-song; empty
// when it cannot be read.
std::vector<std::int16_t> readWav16(const char* path);

// When the rendered song's order `order` starts and ends, in seconds at
// 44100 Hz (its first pass; -1 for what never comes).
std::pair<double, double> orderSpan(const sound::RenderResult& render, int order);

}  // namespace recording
