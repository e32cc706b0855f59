#pragma once
// Draws the 80 x 50 cell buffer as a picture, as a PC's text mode shows it:
// each cell's code page 437 glyph in a console font, in the 16 text-mode
// colours on black, every font pixel widened to a K x K block (no smoothing).
// One rasterizer for every picture of the grid: the demo's window, the web
// page, compofiller-frame and compofiller-record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/common/psf_font.h"
#include "platform/common/vga_palette.h"

class TextRaster {
public:
    // Throws std::invalid_argument for a scale below 1.
    TextRaster(const PsfFont& font, int scale);

    int width() const { return 80 * cellWidth * scale; }
    int height() const { return 50 * cellHeight * scale; }
    int scaleFactor() const { return scale; }

    // Writes width() x height() palette indexes (0 to 15), one row of the
    // picture every `stride` bytes.
    void draw(const CHAR_INFO* cells, std::uint8_t* pixels, std::ptrdiff_t stride) const;
    // The same picture as 0xFFRRGGBB pixels, `stride` pixels apart per row.
    void drawArgb(const CHAR_INFO* cells, std::uint32_t* pixels, std::ptrdiff_t stride) const;

private:
    template <typename Pixel, typename Colour>
    void drawPixels(const CHAR_INFO* cells, Pixel* pixels, std::ptrdiff_t stride, Colour colourOf) const;

    int cellWidth;
    int cellHeight;
    int scale;
    // For each code page 437 byte, cellWidth x cellHeight flags: 1 where the
    // glyph is drawn in its colour.
    std::vector<std::uint8_t> masks;
};
