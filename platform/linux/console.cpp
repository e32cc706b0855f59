#include "platform/console.h"

#include "platform/linux/terminal_session.h"
#include "platform/window/window_screen.h"

// The console calls on a Unix terminal. The first call takes the terminal over
// (see terminal_session.h); the screen buffer is the fixed 80 x 50 grid. While
// the program's own window is open (--window), they draw there instead and
// leave the terminal alone.

namespace {
// The one console there is; its address serves as the handle.
int standardOutput = 0;

bool isConsole(HANDLE console) { return console == &standardOutput; }
}  // namespace

HANDLE GetStdHandle(DWORD which) {
    if (which != STD_OUTPUT_HANDLE) return nullptr;
    if (!windowScreenOpen()) takeOverTerminal();
    return &standardOutput;
}

void setConsolePalette(ConsolePalette palette) { chooseTerminalPalette(palette); }

BOOL SetConsoleTitleA(const char* title) {
    if (windowScreenOpen()) {
        setWindowTitle(title);
        return title != nullptr ? TRUE : FALSE;
    }
    takeOverTerminal();
    return setTerminalTitle(title) ? TRUE : FALSE;
}

BOOL SetConsoleWindowInfo(HANDLE console, BOOL absolute, const SMALL_RECT* window) {
    if (!isConsole(console) || absolute == FALSE || window == nullptr) return FALSE;
    // The window always holds the whole grid.
    if (windowScreenOpen()) return TRUE;
    return requestTerminalSize(window->Bottom - window->Top + 1, window->Right - window->Left + 1) ? TRUE : FALSE;
}

BOOL SetConsoleScreenBufferSize(HANDLE console, COORD size) {
    if (!isConsole(console)) return FALSE;
    if (windowScreenOpen()) return TRUE;
    return requestTerminalSize(size.Y, size.X) ? TRUE : FALSE;
}

BOOL WriteConsoleOutputA(HANDLE console, const CHAR_INFO* cells, COORD bufferSize, COORD bufferCoord,
                         SMALL_RECT* writeRegion) {
    notePresentCall();
    // Only the whole grid is ever written: 80 x 50 cells from the top-left.
    if (!isConsole(console) || cells == nullptr || writeRegion == nullptr || bufferSize.X != 80 ||
        bufferSize.Y != 50 || bufferCoord.X != 0 || bufferCoord.Y != 0 || writeRegion->Left != 0 ||
        writeRegion->Top != 0 || writeRegion->Right != 79 || writeRegion->Bottom != 49) {
        return FALSE;
    }
    if (windowScreenOpen()) return presentOnWindow(cells) ? TRUE : FALSE;
    return presentOnTerminal(cells) ? TRUE : FALSE;
}
