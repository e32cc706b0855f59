#include "platform/message_box.h"

#include "platform/linux/terminal_session.h"
#include "platform/window/window_screen.h"

int MessageBoxA(HANDLE, const char* text, const char* caption, unsigned) {
    if (windowScreenOpen()) {
        // A desktop's message box over the window, and the line on stderr
        // for whoever started the program from a terminal.
        reportAfterTerminal(caption, text);
        showWindowMessageBox(caption, text);
        return 1;  // IDOK
    }
    // The line stays readable after the program has ended and the alternate
    // screen with the box is gone.
    reportAfterTerminal(caption, text);
    askOnTerminal(caption, text);
    return 1;  // IDOK
}
