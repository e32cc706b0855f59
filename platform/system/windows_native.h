#pragma once
// The Windows clocks in plain types: <windows.h> and the demo's timer.h, which
// spells timeGetTime itself, cannot meet in one source file. windows_clock.cpp
// gives the demo its calls; windows_native.cpp implements these.
#include <cstdint>

namespace win32 {

std::uint32_t milliseconds();  // timeGetTime
std::int64_t nanoseconds();    // the performance counter
double cpuSeconds();           // the process's kernel and user time

}  // namespace win32
