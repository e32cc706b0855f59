#pragma once
// Draws the 80 x 50 cell buffer as a picture, as a PC's text mode shows it:
// each cell's code page 437 glyph in a console font, in the 16 text-mode
// colours on black, every font pixel widened to a K x K block (no smoothing).
// Shared by compofiller-frame and compofiller-record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/console.h"
#include "tools/raster/psf_font.h"

// The standard text-mode palette by console colour: red, green, blue.
extern const std::uint8_t textModePalette[16][3];

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

private:
    int cellWidth;
    int cellHeight;
    int scale;
    // For each code page 437 byte, cellWidth x cellHeight flags: 1 where the
    // glyph is drawn in its colour.
    std::vector<std::uint8_t> masks;
};

// A PNG of palette indexes in the text-mode palette. Throws
// std::runtime_error when libpng fails.
std::string encodeIndexedPng(const std::uint8_t* pixels, int width, int height);
