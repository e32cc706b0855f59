// The frame as coloured terminal text and as a picture.
#include "tools/frame/frame_output.h"

#include <cstdint>
#include <vector>

#include "platform/common/cp437.h"
#include "platform/present/terminal/terminal_screen.h"
#include "platform/common/text_raster.h"
#include "tools/raster/indexed_png.h"

namespace {

constexpr int columns = 80;
constexpr int rows = 50;

unsigned glyphOf(const CHAR_INFO& cell) { return static_cast<unsigned char>(cell.Char.AsciiChar); }
unsigned colorOf(const CHAR_INFO& cell) { return cell.Attributes & 15u; }


// The SGR number of a console colour, in the terminal's colour order: 30-37,
// and 90-97 for the bright set.
int sgrForeground(unsigned color) {
    const int c = terminalColorForAttribute(static_cast<WORD>(color));
    return c < 8 ? 30 + c : 90 + (c - 8);
}

}  // namespace

std::string formatAnsi(const CHAR_INFO* cells) {
    std::string out;
    for (int r = 0; r < rows; ++r) {
        out += "\x1b[0;40m";
        int current = -1;
        for (int c = 0; c < columns; ++c) {
            const CHAR_INFO& cell = cells[r * columns + c];
            const unsigned color = colorOf(cell);
            if (color == 0) {
                out += ' ';  // black on black shows nothing
                continue;
            }
            const int sgr = sgrForeground(color);
            if (sgr != current) {
                out += "\x1b[" + std::to_string(sgr) + "m";
                current = sgr;
            }
            appendUtf8(out, cp437ToUnicode[glyphOf(cell)]);
        }
        out += "\x1b[0m\n";
    }
    return out;
}

std::string formatPng(const CHAR_INFO* cells, const PsfFont& font, int scale) {
    const TextRaster raster(font, scale);
    std::vector<std::uint8_t> image(std::size_t(raster.width()) * raster.height());
    raster.draw(cells, image.data(), raster.width());
    return encodeIndexedPng(image.data(), raster.width(), raster.height());
}
