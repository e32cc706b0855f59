#pragma once
#include "platform/console.h"

// Shows caption and text in a box with an OK button on an interactive terminal
// and waits for Enter, Space or Esc; without a terminal it does not wait. The
// line "caption: text" also goes to stderr once the terminal is restored.
int MessageBoxA(HANDLE owner, const char* text, const char* caption, unsigned type);
