#include "platform/keyboard.h"

#include <atomic>

#include "platform/terminal_session.h"

namespace {
// Set by the key reader on a lone Esc and never cleared: a terminal reports no
// key releases, so a press counts as held from then on.
std::atomic<bool> escapePressed{false};
// Queries so far; kept with a plain load and store (one thread asks).
std::atomic<std::uint32_t> escapeQueries{0};
}  // namespace

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey != VK_ESCAPE) return 0;
    escapeQueries.store(escapeQueries.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return escapePressed.load(std::memory_order_relaxed) ? static_cast<SHORT>(0x8001) : 0;
}

void setEscapePressedForTesting(bool pressed) { escapePressed.store(pressed); }

void pressEscapeKey() { escapePressed.store(true); }

std::uint32_t escapeQueryCount() { return escapeQueries.load(std::memory_order_relaxed); }
