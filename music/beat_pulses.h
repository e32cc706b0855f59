#pragma once
// Beat pulses: set by instrument triggers on the sound thread, decayed by the
// frame loop, read by the scenes. Each is one lock-free 32-bit value.
#include <atomic>
#include <cstdint>

#include "platform/sound_library.h"

extern std::atomic<float> pulseA;          // 3.0 on instruments 3 and 4
extern std::atomic<float> pulseB;          // 3.0 on instruments 11, 8 and 5
extern std::atomic<float> pulseC;          // 4.0 on instruments 22 and 29
extern std::atomic<std::int32_t> beatCount;  // +1 per trigger of any of them

void triggerPulseA(FMUSIC_MODULE* module, unsigned char param);
void triggerPulseB(FMUSIC_MODULE* module, unsigned char param);
void triggerPulseC(FMUSIC_MODULE* module, unsigned char param);
