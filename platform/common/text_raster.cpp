#include "platform/common/text_raster.h"

#include <cstring>
#include <stdexcept>

#include "platform/common/cp437.h"

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

template <typename Pixel, typename Colour>
void TextRaster::drawPixels(const CHAR_INFO* cells, Pixel* pixels, std::ptrdiff_t stride, Colour colourOf) const {
    const std::size_t cellPixels = std::size_t(cellWidth) * cellHeight;
    const int cellSpan = cellWidth * scale;
    const Pixel black = colourOf(0);
    for (int r = 0; r < 50; ++r) {
        for (int y = 0; y < cellHeight; ++y) {
            // One row of font pixels, written once and copied to the scale's
            // other picture rows.
            Pixel* first = pixels + std::ptrdiff_t(r * cellHeight + y) * scale * stride;
            for (int c = 0; c < 80; ++c) {
                const CHAR_INFO& cell = cells[r * 80 + c];
                const Pixel ink = colourOf(cell.Attributes & 15u);
                const std::uint8_t* mask =
                    &masks[std::size_t(static_cast<unsigned char>(cell.Char.AsciiChar)) * cellPixels + std::size_t(y) * cellWidth];
                Pixel* out = first + std::ptrdiff_t(c) * cellSpan;
                for (int x = 0; x < cellWidth; ++x) {
                    const Pixel value = mask[x] ? ink : black;
                    for (int s = 0; s < scale; ++s) *out++ = value;
                }
            }
            for (int s = 1; s < scale; ++s) std::memcpy(first + s * stride, first, std::size_t(width()) * sizeof(Pixel));
        }
    }
}

void TextRaster::draw(const CHAR_INFO* cells, std::uint8_t* pixels, std::ptrdiff_t stride) const {
    drawPixels(cells, pixels, stride, [](unsigned colour) { return static_cast<std::uint8_t>(colour); });
}

void TextRaster::drawArgb(const CHAR_INFO* cells, std::uint32_t* pixels, std::ptrdiff_t stride) const {
    drawPixels(cells, pixels, stride, [](unsigned colour) { return textModeArgb(colour); });
}
