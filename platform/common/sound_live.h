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

// Frames in one device buffer.
int outputBufferFrames();

// Frames of silence the device was given because the mix was not ready
// (each is part of an audible dropout). 0 on the silent output.
std::int64_t outputUnderrunFrames();

// Frames the device is taken to hold between the mix and what is heard;
// 0 on the silent output.
int outputLatencyFrames();

}  // namespace sound
