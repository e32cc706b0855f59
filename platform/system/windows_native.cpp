// The clocks and the program's folder on Windows, on the real system calls.
#include "platform/program_folder.h"
#include "platform/system/windows_native.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include <filesystem>

namespace {

// Waits of a millisecond or two need the system's timer at 1 ms, not the
// default 15.6 ms; held for the whole run.
struct TimerPeriod {
    TimerPeriod() { timeBeginPeriod(1); }
    ~TimerPeriod() { timeEndPeriod(1); }
} timerPeriod;

LARGE_INTEGER counterFrequency() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
}
const LARGE_INTEGER frequency = counterFrequency();

}  // namespace

namespace win32 {

std::uint32_t milliseconds() { return static_cast<std::uint32_t>(::timeGetTime()); }

std::int64_t nanoseconds() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::int64_t f = frequency.QuadPart;
    return now.QuadPart / f * 1000000000 + now.QuadPart % f * 1000000000 / f;
}

double cpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
    auto seconds = [](const FILETIME& t) {
        return double((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
}

}  // namespace win32

std::string executableFolder() {
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    if (length == 0 || length >= 32768) return "";
    // In the program's code page, as the song's name is opened.
    return std::filesystem::path(path).parent_path().string();
}
