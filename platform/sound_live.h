#pragma once
// Inspection of the live output, for tests and tools: where the output is now
// and whether it plays on an audio device or in silence.
#include <cstdint>

namespace sound {

// Stereo frames of the global output heard so far (the silent output counts
// them from a steady clock). Does not advance while the output is paused.
std::int64_t outputFrame();

// True once FSOUND_Init has run and the output plays on an audio device;
// false while it runs in silence.
bool outputOnDevice();

// Frames in one output buffer (the device's, or the silent output's block).
int outputBufferFrames();

}  // namespace sound
