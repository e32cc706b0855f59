#include "platform/keyboard.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/linux/terminal_session.h"
#include "platform/window/window_screen.h"

namespace {
// Set by the key reader on a lone Esc and never cleared: a terminal reports no
// key releases, so a press counts as held from then on.
std::atomic<bool> escapePressed{false};
// Queries so far; kept with a plain load and store (one thread asks).
std::atomic<std::uint32_t> escapeQueries{0};

// Wakes a frame that waits for its deadline when Esc comes.
std::mutex escapeMutex;
std::condition_variable escapeChanged;

void setEscape(bool pressed) {
    {
        std::lock_guard<std::mutex> lock(escapeMutex);
        escapePressed.store(pressed);
    }
    escapeChanged.notify_all();
}
}  // namespace

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey != VK_ESCAPE) return 0;
    escapeQueries.store(escapeQueries.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    const bool pressed = escapePressed.load(std::memory_order_relaxed) || windowEscapePressed();
    return pressed ? static_cast<SHORT>(0x8001) : 0;
}

bool waitForEscapeUntil(std::int64_t deadlineNs) {
    // The window's events are taken on this thread while it waits.
    if (windowScreenOpen()) return waitForWindowEscapeUntil(deadlineNs) || escapePressed.load();
    const std::chrono::steady_clock::time_point deadline{std::chrono::nanoseconds(deadlineNs)};
    std::unique_lock<std::mutex> lock(escapeMutex);
    // Loops over spurious wake-ups and over a stop and resume (Ctrl-Z, fg).
    return escapeChanged.wait_until(lock, deadline, [] { return escapePressed.load(); });
}

void setEscapePressedForTesting(bool pressed) { setEscape(pressed); }

void pressEscapeKey() { setEscape(true); }

std::uint32_t escapeQueryCount() { return escapeQueries.load(std::memory_order_relaxed); }
