// The demo's console, clock, keyboard and message-box calls on Windows, each
// handed to the real system call behind it (session.cpp), or to the
// program's own window (platform/window) while that is open: with --window,
// or where the console cannot show the whole grid and a desktop can.
#include <atomic>
#include <cstdio>
#include <string>

#include "platform/common/cp437.h"
#include "platform/common/present_times.h"
#include "platform/console.h"
#include "platform/keyboard.h"
#include "platform/message_box.h"
#include "platform/session.h"
#include "platform/timer.h"
#include "platform/window/window_screen.h"
#include "platform/windows/win32.h"

namespace {
// Queries so far; kept with a plain load and store (one thread asks).
std::atomic<std::uint32_t> escapeQueries{0};

win32::Cell wideCells[80 * 50];
PresentTimes consolePresentTimes;  // converting and writing each frame

// What GetStdHandle gives while the window is open.
int windowToken = 0;
HANDLE const windowHandle = &windowToken;

// The title given, for a window that opens after it.
std::string demoTitle;

// The console is smaller than the grid after the size calls: the window
// shows the picture instead where there is a desktop to open it on, and
// says so in one line; else the console shows the picture's centre and says
// why at the end.
void openWindowInstead(const win32::ConsoleShape& shape) {
    if (!win32::desktopAvailable()) {
        win32::noteNoWindow("and there was no desktop to open a window on");
        return;
    }
    const std::string why = openWindowScreen();
    if (!why.empty()) {
        win32::noteNoWindow(("and no window opened in its place (" + why + ")").c_str());
        return;
    }
    // The console is left to the user from here on.
    win32::restoreConsole();
    setWindowTitle(demoTitle.c_str());
    std::fprintf(stderr,
                 "compofiller: the console could not be made 80 x 50 (it is %d x %d), so the demo shows in a "
                 "window of its own\n",
                 shape.columns, shape.rows);
    std::fflush(stderr);
}
}  // namespace

void setConsolePalette(ConsolePalette palette) { win32::chooseVgaColours(palette == ConsolePalette::vga); }

HANDLE GetStdHandle(DWORD which) {
    if (which != STD_OUTPUT_HANDLE) return nullptr;
    return windowScreenOpen() ? windowHandle : win32::openConsole();
}

BOOL SetConsoleTitleA(const char* title) {
    if (title != nullptr) demoTitle = title;
    if (windowScreenOpen()) {
        setWindowTitle(title);
        return title != nullptr ? TRUE : FALSE;
    }
    win32::openConsole();
    return win32::setTitle(title) ? TRUE : FALSE;
}

BOOL SetConsoleWindowInfo(HANDLE console, BOOL absolute, const SMALL_RECT* window) {
    if (absolute == FALSE || window == nullptr) return FALSE;
    // The window always holds the whole grid.
    if (windowScreenOpen()) return TRUE;
    return win32::setWindow(console, window->Left, window->Top, window->Right, window->Bottom) ? TRUE : FALSE;
}

// The last of the size calls: a console still smaller than the grid after
// them (Windows Terminal, which takes no size from a program; Wine's console
// in a Unix terminal of another size) hands the picture to the window.
BOOL SetConsoleScreenBufferSize(HANDLE console, COORD size) {
    if (windowScreenOpen()) return TRUE;
    const BOOL set = win32::setBufferSize(console, size.X, size.Y) ? TRUE : FALSE;
    const win32::ConsoleShape shape = win32::consoleShape();
    if (shape.console && (shape.columns < 80 || shape.rows < 50)) openWindowInstead(shape);
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
    if (windowScreenOpen()) return presentOnWindow(cells) ? TRUE : FALSE;
    const std::int64_t start = monotonicNanoseconds();
    for (int i = 0; i < 80 * 50; ++i) {
        wideCells[i].character =
            static_cast<char16_t>(cp437ToUnicode[static_cast<unsigned char>(cells[i].Char.AsciiChar)]);
        wideCells[i].attributes = cells[i].Attributes;
    }
    const bool written = win32::writeCells(console, wideCells);
    consolePresentTimes.add(monotonicNanoseconds() - start);
    return written ? TRUE : FALSE;
}

void restoreTerminal() {
    closeWindowScreen();
    win32::restoreConsole();
}

// The console keeps every cell it was given: nothing to send again.
void repaintWholeScreen() {}

TerminalStats terminalStats() {
    TerminalStats stats;
    stats.presents = win32::presents();
    stats.escapeQueriesAtPresent = win32::escapeQueriesAtPresent();
    const WindowStats window = windowStats();
    if (window.opened) {
        // Frames drawn in the window: the pixels handed to it count as sent.
        stats.updates = window.uploads;
        stats.bytes = window.bytes;
        stats.medianPresentMs = window.medianPresentMs;
        stats.percentile99PresentMs = window.percentile99PresentMs;
    } else {
        stats.updates = win32::cellWrites();
        stats.bytes = win32::cellsHanded() * sizeof(win32::Cell);
        stats.medianPresentMs = consolePresentTimes.percentileMs(50);
        stats.percentile99PresentMs = consolePresentTimes.percentileMs(99);
    }
    return stats;
}

DWORD timeGetTime() { return win32::milliseconds(); }

std::int64_t monotonicNanoseconds() { return win32::nanoseconds(); }

double processCpuSeconds() { return win32::cpuSeconds(); }

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey != VK_ESCAPE) return 0;
    escapeQueries.store(escapeQueries.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return win32::escapePressed() || windowEscapePressed() ? static_cast<SHORT>(0x8001) : 0;
}

bool waitForEscapeUntil(std::int64_t deadlineNs) {
    // The window's events are taken on this thread while it waits.
    if (windowScreenOpen()) return waitForWindowEscapeUntil(deadlineNs) || win32::escapePressed();
    return win32::waitForEscape(deadlineNs);
}

void setEscapePressedForTesting(bool pressed) { win32::setEscapePressed(pressed); }

int MessageBoxA(HANDLE, const char* text, const char* caption, unsigned type) {
    if (windowScreenOpen()) {
        // Over the window, and the line on stderr as ever.
        std::fprintf(stderr, "%s: %s\n", caption, text);
        std::fflush(stderr);
        showWindowMessageBox(caption, text);
        return 1;  // IDOK
    }
    return win32::messageBox(text, caption, type);
}
