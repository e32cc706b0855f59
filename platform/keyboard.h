#pragma once
#include "platform/console.h"

inline constexpr int VK_ESCAPE = 0x1B;

// Non-zero once Esc has been pressed on the terminal. Costs one atomic load:
// the marcher asks at every march step.
SHORT GetAsyncKeyState(int virtualKey);

// Sets the Esc state as a key press would; for tests.
void setEscapePressedForTesting(bool pressed);
