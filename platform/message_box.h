#pragma once
#include "platform/console.h"

// Shows caption and text in a box with an OK button and waits for it to be
// dismissed where the presenter can: on an interactive terminal a box that
// Enter, Space or Esc dismiss, in the window or the Windows console the
// desktop's own, on a web page a message over the page (which does not
// wait). The line "caption: text" also goes to stderr (on a terminal, once it
// is handed back).
int MessageBoxA(HANDLE owner, const char* text, const char* caption, unsigned type);
