#pragma once
#include <cstdint>

#include "platform/console.h"

inline constexpr int VK_ESCAPE = 0x1B;

// Non-zero once Esc has been pressed (or the window closed). Cheap: the
// marcher asks at every march step.
SHORT GetAsyncKeyState(int virtualKey);

// Sleeps until `deadlineNs` on the clock of monotonicNanoseconds (timer.h),
// or until Esc is pressed, whichever comes first. True when Esc has been
// pressed. Ending signals are handled during the wait as at any other time.
bool waitForEscapeUntil(std::int64_t deadlineNs);
