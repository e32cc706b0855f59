#include "platform/message_box.h"

#include "platform/linux/terminal_session.h"

int MessageBoxA(HANDLE, const char* text, const char* caption, unsigned) {
    // The line stays readable after the program has ended and the alternate
    // screen with the box is gone.
    reportAfterTerminal(caption, text);
    askOnTerminal(caption, text);
    return 1;  // IDOK
}
