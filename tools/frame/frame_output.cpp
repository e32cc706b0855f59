#include "tools/frame/frame_output.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "platform/cp437.h"
#include "platform/terminal_screen.h"

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

// The standard text-mode palette, by console colour.
constexpr std::uint8_t palette[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
    {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF},
};

void appendPngBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void pngWarning(png_structp, png_const_charp) {}

// Encodes the indexed image. libpng reports errors by a long jump back here,
// so nothing between the setjmp and the calls owns resources.
bool encodePng(png_structp png, png_infop info, const png_byte* image, int width, int height, std::string* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, appendPngBytes, nullptr);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color colors[16];
    for (int i = 0; i < 16; ++i) colors[i] = {palette[i][0], palette[i][1], palette[i][2]};
    png_set_PLTE(png, info, colors, 16);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, image + std::size_t(y) * width);
    png_write_end(png, nullptr);
    return true;
}

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

std::string formatPng(const CHAR_INFO* cells, const PsfFont& font) {
    const int width = columns * font.width();
    const int height = rows * font.height();

    // One palette index per pixel.
    std::vector<png_byte> image(std::size_t(width) * height, 0);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const CHAR_INFO& cell = cells[r * columns + c];
            const unsigned color = colorOf(cell);
            if (color == 0) continue;
            const char32_t codePoint = cp437ToUnicode[glyphOf(cell)];
            int glyph = font.glyphFor(codePoint);
            if (glyph < 0) glyph = font.glyphFor(U'\xFFFD');
            for (int y = 0; y < font.height(); ++y) {
                png_byte* line = &image[std::size_t(r * font.height() + y) * width + std::size_t(c) * font.width()];
                for (int x = 0; x < font.width(); ++x) {
                    bool on;
                    if (glyph >= 0) on = font.pixel(glyph, x, y);
                    else  // no picture in this font: an outlined box
                        on = x == 0 || y == 0 || x == font.width() - 1 || y == font.height() - 1;
                    if (on) line[x] = static_cast<png_byte>(color);
                }
            }
        }
    }

    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, pngWarning);
    if (png == nullptr) throw std::runtime_error("PNG: cannot create the writer");
    png_infop info = png_create_info_struct(png);
    const bool written = info != nullptr && encodePng(png, info, image.data(), width, height, &out);
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    if (!written) throw std::runtime_error("PNG: cannot encode the picture");
    return out;
}
