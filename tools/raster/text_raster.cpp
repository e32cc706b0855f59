#include "tools/raster/text_raster.h"

#include <png.h>

#include <cstring>
#include <stdexcept>

#include "platform/common/cp437.h"

const std::uint8_t textModePalette[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
    {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF},
};

TextRaster::TextRaster(const PsfFont& font, int scaleFactor)
    : cellWidth(font.width()), cellHeight(font.height()), scale(scaleFactor) {
    if (scale < 1) throw std::invalid_argument("the scale must be at least 1");
    const std::size_t cellPixels = std::size_t(cellWidth) * cellHeight;
    masks.assign(256 * cellPixels, 0);
    for (int byte = 0; byte < 256; ++byte) {
        int glyph = font.glyphFor(cp437ToUnicode[byte]);
        if (glyph < 0) glyph = font.glyphFor(U'\xFFFD');
        std::uint8_t* mask = &masks[std::size_t(byte) * cellPixels];
        for (int y = 0; y < cellHeight; ++y) {
            for (int x = 0; x < cellWidth; ++x) {
                bool on;
                if (glyph >= 0) on = font.pixel(glyph, x, y);
                else  // no picture in this font: an outlined box
                    on = x == 0 || y == 0 || x == cellWidth - 1 || y == cellHeight - 1;
                mask[y * cellWidth + x] = on ? 1 : 0;
            }
        }
    }
}

void TextRaster::draw(const CHAR_INFO* cells, std::uint8_t* pixels, std::ptrdiff_t stride) const {
    const std::size_t cellPixels = std::size_t(cellWidth) * cellHeight;
    const int cellSpan = cellWidth * scale;
    for (int r = 0; r < 50; ++r) {
        for (int y = 0; y < cellHeight; ++y) {
            // One row of font pixels, written once and copied to the scale's
            // other picture rows.
            std::uint8_t* first = pixels + std::ptrdiff_t(r * cellHeight + y) * scale * stride;
            for (int c = 0; c < 80; ++c) {
                const CHAR_INFO& cell = cells[r * 80 + c];
                const std::uint8_t color = static_cast<std::uint8_t>(cell.Attributes & 15u);
                const std::uint8_t* mask =
                    &masks[std::size_t(static_cast<unsigned char>(cell.Char.AsciiChar)) * cellPixels + std::size_t(y) * cellWidth];
                std::uint8_t* out = first + std::ptrdiff_t(c) * cellSpan;
                for (int x = 0; x < cellWidth; ++x) {
                    const std::uint8_t value = mask[x] ? color : 0;
                    for (int s = 0; s < scale; ++s) *out++ = value;
                }
            }
            for (int s = 1; s < scale; ++s) std::memcpy(first + s * stride, first, std::size_t(width()));
        }
    }
}

namespace {

void appendPngBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void pngWarning(png_structp, png_const_charp) {}

// libpng reports errors by a long jump back here, so nothing between the
// setjmp and the calls owns resources.
bool encodePng(png_structp png, png_infop info, const png_byte* image, int width, int height, std::string* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, appendPngBytes, nullptr);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color colors[16];
    for (int i = 0; i < 16; ++i) colors[i] = {textModePalette[i][0], textModePalette[i][1], textModePalette[i][2]};
    png_set_PLTE(png, info, colors, 16);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, image + std::size_t(y) * width);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

std::string encodeIndexedPng(const std::uint8_t* pixels, int width, int height) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, pngWarning);
    if (png == nullptr) throw std::runtime_error("PNG: cannot create the writer");
    png_infop info = png_create_info_struct(png);
    const bool written = info != nullptr && encodePng(png, info, pixels, width, height, &out);
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    if (!written) throw std::runtime_error("PNG: cannot encode the picture");
    return out;
}
