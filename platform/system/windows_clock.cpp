// The demo's timer calls on Windows, handed to the system (windows_native.cpp).
#include "platform/system/windows_native.h"
#include "platform/timer.h"

DWORD timeGetTime() { return win32::milliseconds(); }

std::int64_t monotonicNanoseconds() { return win32::nanoseconds(); }

double processCpuSeconds() { return win32::cpuSeconds(); }
