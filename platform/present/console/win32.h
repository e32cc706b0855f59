#pragma once
// The Windows side of the console, its keys and the message box, in plain
// types. The demo's own headers (console.h, ...) spell the Windows records
// and calls themselves, so they and <windows.h> cannot meet in one source
// file: console_presenter.cpp hands the presenter's work on to these, which
// console_session.cpp implements on the real system.
#include <cstdint>

namespace win32 {

// One cell as WriteConsoleOutputW takes it: a UTF-16 character and the
// attribute word.
struct Cell {
    char16_t character;
    std::uint16_t attributes;
};

// Takes the console over at the first call (see session.cpp); the handle the
// demo draws on, or null when standard output is not a console.
void* openConsole();
// Before the first console call: true shows the VGA text mode's 16 colours
// (the console's colour table, given back at the end), false the console's own.
void chooseVgaColours(bool vga);
bool setTitle(const char* title);
bool setWindow(void* console, int left, int top, int right, int bottom);
bool setBufferSize(void* console, int columns, int rows);

// The console's window as the size calls left it, in cells.
struct ConsoleShape {
    bool console = false;  // false: standard output is no console (or given back)
    int columns = 0;
    int rows = 0;
};
ConsoleShape consoleShape();
// Why no window shows the grid in a console smaller than it, for the line at
// the end ("there is no desktop to open a window on").
void noteNoWindow(const char* why);
// True when the program runs on a desktop someone sees (not a service's or a
// remote shell's hidden one).
bool desktopAvailable();

// Writes the 80 x 50 cells to the top-left of a console that took 80 x 50;
// in any other, centred in its window, or the window's worth of the grid's
// centre where the window is smaller (and says so at the end).
bool writeCells(void* console, const Cell* cells);
void restoreConsole();
std::uint64_t cellWrites();
std::uint64_t cellsHanded();  // cells handed to the console, all frames

// Ends the program at once as Ctrl-C ends a console program: the console
// given back, status STATUS_CONTROL_C_EXIT.
[[noreturn]] void endAsInterrupted();

bool escapePressed();
// Waits until `deadlineNs` (monotonicNanoseconds) or Esc; true on Esc.
bool waitForEscape(std::int64_t deadlineNs);

int messageBox(const char* text, const char* caption, unsigned type);

}  // namespace win32
