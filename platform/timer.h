#pragma once
#include <cstdint>

#include "platform/console.h"

// Milliseconds from a monotonic clock, as an unsigned 32-bit count that wraps.
DWORD timeGetTime();

// Nanoseconds from the same monotonic clock, for pacing the frames.
std::int64_t monotonicNanoseconds();

// Processor time the whole process (every thread) has used so far, in seconds.
double processCpuSeconds();
