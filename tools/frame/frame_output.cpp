#include "tools/frame/frame_output.h"

#include <cstdio>

namespace {

constexpr int columns = 80;
constexpr int rows = 50;

unsigned glyphOf(const CHAR_INFO& cell) { return static_cast<unsigned char>(cell.Char.AsciiChar); }

}  // namespace

std::string formatCells(const CHAR_INFO* cells) {
    std::string out;
    out.reserve(rows * (columns * 5));
    char token[8];
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const CHAR_INFO& cell = cells[r * columns + c];
            std::snprintf(token, sizeof token, "%02x%02x", glyphOf(cell), cell.Attributes & 0xFFu);
            if (c > 0) out += ' ';
            out += token;
        }
        out += '\n';
    }
    return out;
}
