#pragma once
// A Linux console bitmap font (PSF 1 or 2, optionally gzip-compressed) with
// its Unicode table, as shipped in /usr/share/consolefonts.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class PsfFont {
public:
    // Reads `path`; throws std::runtime_error with a one-line reason on failure.
    static PsfFont load(const std::string& path);

    int width() const { return width_; }
    int height() const { return height_; }

    // The glyph that shows `codePoint`, or -1 when the font has none.
    int glyphFor(char32_t codePoint) const;
    // True when pixel (x, y) of glyph `glyph` is set.
    bool pixel(int glyph, int x, int y) const;

private:
    int width_ = 0;
    int height_ = 0;
    int glyphCount_ = 0;
    int bytesPerRow_ = 0;
    int bytesPerGlyph_ = 0;
    std::vector<std::uint8_t> bitmaps_;
    std::unordered_map<char32_t, int> glyphOf_;
};

// The first VGA 8 x 8 console font in /usr/share/consolefonts that covers the
// glyphs the demo draws; empty when none is installed.
std::string defaultConsoleFontPath();
