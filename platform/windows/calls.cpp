// The demo's console, clock, keyboard and message-box calls on Windows, each
// handed to the real system call behind it (session.cpp).
#include <atomic>

#include "platform/common/cp437.h"
#include "platform/console.h"
#include "platform/keyboard.h"
#include "platform/message_box.h"
#include "platform/session.h"
#include "platform/timer.h"
#include "platform/windows/win32.h"

namespace {
// Queries so far; kept with a plain load and store (one thread asks).
std::atomic<std::uint32_t> escapeQueries{0};

win32::Cell wideCells[80 * 50];
}  // namespace

void setConsolePalette(ConsolePalette palette) { win32::chooseVgaColours(palette == ConsolePalette::vga); }

HANDLE GetStdHandle(DWORD which) { return which == STD_OUTPUT_HANDLE ? win32::openConsole() : nullptr; }

BOOL SetConsoleTitleA(const char* title) {
    win32::openConsole();
    return win32::setTitle(title) ? TRUE : FALSE;
}

BOOL SetConsoleWindowInfo(HANDLE console, BOOL absolute, const SMALL_RECT* window) {
    if (absolute == FALSE || window == nullptr) return FALSE;
    return win32::setWindow(console, window->Left, window->Top, window->Right, window->Bottom) ? TRUE : FALSE;
}

// The last of the size calls: a console still smaller than the grid after
// them (Windows Terminal, which takes no size from a program; Wine's console
// in a Unix terminal of another size) shows the centre of the picture.
BOOL SetConsoleScreenBufferSize(HANDLE console, COORD size) {
    const BOOL set = win32::setBufferSize(console, size.X, size.Y) ? TRUE : FALSE;
    const win32::ConsoleShape shape = win32::consoleShape();
    if (shape.console && (shape.columns < 80 || shape.rows < 50) && !win32::desktopAvailable())
        win32::noteNoWindow("and there was no desktop to open a window on");
    return set;
}

// The cells hold code page 437 bytes, but the byte-wide console call shows
// neither the pictures of 1 to 31 and 127 nor byte 0 on every console: some
// take them for control codes (a tab, a bell, a line feed) and move the rest
// of the row. The wide call with each byte's picture from our own table shows
// the same glyphs on every console, whatever its code page.
BOOL WriteConsoleOutputA(HANDLE console, const CHAR_INFO* cells, COORD bufferSize, COORD bufferCoord,
                         SMALL_RECT* writeRegion) {
    win32::notePresent(escapeQueries.load(std::memory_order_relaxed));
    // Only the whole grid is ever written: 80 x 50 cells from the top-left.
    if (cells == nullptr || writeRegion == nullptr || bufferSize.X != 80 || bufferSize.Y != 50 ||
        bufferCoord.X != 0 || bufferCoord.Y != 0 || writeRegion->Left != 0 || writeRegion->Top != 0 ||
        writeRegion->Right != 79 || writeRegion->Bottom != 49) {
        return FALSE;
    }
    for (int i = 0; i < 80 * 50; ++i) {
        wideCells[i].character =
            static_cast<char16_t>(cp437ToUnicode[static_cast<unsigned char>(cells[i].Char.AsciiChar)]);
        wideCells[i].attributes = cells[i].Attributes;
    }
    return win32::writeCells(console, wideCells) ? TRUE : FALSE;
}

void restoreTerminal() { win32::restoreConsole(); }

// The console keeps every cell it was given: nothing to send again.
void repaintWholeScreen() {}

TerminalStats terminalStats() {
    TerminalStats stats;
    stats.presents = win32::presents();
    stats.escapeQueriesAtPresent = win32::escapeQueriesAtPresent();
    stats.updates = win32::cellWrites();
    stats.bytes = win32::cellsHanded() * sizeof(win32::Cell);
    return stats;
}

DWORD timeGetTime() { return win32::milliseconds(); }

std::int64_t monotonicNanoseconds() { return win32::nanoseconds(); }

double processCpuSeconds() { return win32::cpuSeconds(); }

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey != VK_ESCAPE) return 0;
    escapeQueries.store(escapeQueries.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return win32::escapePressed() ? static_cast<SHORT>(0x8001) : 0;
}

bool waitForEscapeUntil(std::int64_t deadlineNs) { return win32::waitForEscape(deadlineNs); }

void setEscapePressedForTesting(bool pressed) { win32::setEscapePressed(pressed); }

int MessageBoxA(HANDLE, const char* text, const char* caption, unsigned type) {
    return win32::messageBox(text, caption, type);
}
