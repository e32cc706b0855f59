#include "platform/keyboard.h"

#include <atomic>

namespace {
std::atomic<bool> escapePressed{false};
}

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey != VK_ESCAPE) return 0;
    return escapePressed.load(std::memory_order_relaxed) ? static_cast<SHORT>(0x8001) : 0;
}

void setEscapePressedForTesting(bool pressed) { escapePressed.store(pressed); }
