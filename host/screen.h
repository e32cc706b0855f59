#pragma once
// The 80 x 50 cell buffer and its console.
#include <cstdint>

#include "platform/console.h"

inline constexpr int screenColumns = 80;
inline constexpr int screenRows = 50;

// 50 rows of 80 cells, row-major, never cleared between frames.
extern CHAR_INFO screenCells[screenColumns * screenRows];
extern HANDLE consoleOut;

void openConsoleScreen();
void presentScreen();

// Stores a table entry into a cell: the glyph's low byte into the low byte of
// the character field, the colour's low 16 bits into the attribute word.
inline void writeCell(int row, int col, std::int32_t glyph, std::int32_t color) {
    CHAR_INFO& cell = screenCells[row * screenColumns + col];
    cell.Char.AsciiChar = static_cast<char>(glyph & 0xFF);
    cell.Attributes = static_cast<WORD>(color & 0xFFFF);
}
