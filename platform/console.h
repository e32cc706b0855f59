#pragma once
// Console calls of the demo host. The names and records are those of the
// Windows console the program was written against, so the host code reads the
// same on every system; behind them stands the chosen presenter
// (platform/present/presenter.h): a terminal, a window, the Windows console or
// a web page's canvas.
#include <cstdint>

using HANDLE = void*;
using BOOL = int;
using SHORT = std::int16_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);

struct COORD {
    SHORT X;
    SHORT Y;
};

struct SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
};

// One character cell: a 16-bit character field (the glyph byte lives in its
// low byte) followed by a 16-bit attribute word (foreground colour 0 to 15).
struct CHAR_INFO {
    union {
        std::uint16_t UnicodeChar;
        char AsciiChar;
    } Char;
    WORD Attributes;
};
static_assert(sizeof(CHAR_INFO) == 4);

HANDLE GetStdHandle(DWORD which);
BOOL SetConsoleTitleA(const char* title);
BOOL SetConsoleWindowInfo(HANDLE console, BOOL absolute, const SMALL_RECT* window);
BOOL SetConsoleScreenBufferSize(HANDLE console, COORD size);
BOOL WriteConsoleOutputA(HANDLE console, const CHAR_INFO* cells, COORD bufferSize, COORD bufferCoord,
                         SMALL_RECT* writeRegion);

// The colours a terminal or console shows: the 16 colours of the PC's VGA text
// mode on black, whatever the terminal's own theme (the default), or the
// terminal's own 16 colours (choosePresenter takes it).
enum class ConsolePalette { vga, terminal };
