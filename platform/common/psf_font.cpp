#include "platform/common/psf_font.h"

#include <zlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

namespace {

// Reads a whole file through zlib, which passes uncompressed files through.
std::vector<std::uint8_t> readFile(const std::string& path) {
    std::unique_ptr<gzFile_s, decltype(&gzclose)> file(gzopen(path.c_str(), "rb"), &gzclose);
    if (!file) throw std::runtime_error("cannot open font " + path);
    std::vector<std::uint8_t> data;
    std::uint8_t chunk[65536];
    for (;;) {
        const int n = gzread(file.get(), chunk, sizeof chunk);
        if (n < 0) throw std::runtime_error("cannot read font " + path);
        if (n == 0) break;
        data.insert(data.end(), chunk, chunk + n);
        if (data.size() > (64u << 20)) throw std::runtime_error("font too large: " + path);
    }
    return data;
}

std::uint32_t le32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (std::uint32_t(d[at + 3]) << 24);
}

// Decodes one UTF-8 sequence at `at`; returns the code point, or 0xFFFFFFFF for
// a malformed one (it is skipped).
char32_t decodeUtf8(const std::vector<std::uint8_t>& d, std::size_t end, std::size_t& at) {
    const std::uint8_t lead = d[at++];
    int extra = 0;
    char32_t c = 0;
    if (lead < 0x80) return lead;
    if ((lead & 0xE0) == 0xC0) extra = 1, c = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0) extra = 2, c = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0) extra = 3, c = lead & 0x07;
    else return 0xFFFFFFFF;
    for (int i = 0; i < extra; ++i) {
        if (at >= end || (d[at] & 0xC0) != 0x80) return 0xFFFFFFFF;
        c = (c << 6) | (d[at++] & 0x3F);
    }
    return c;
}

}  // namespace

PsfFont PsfFont::load(const std::string& path) {
    const std::vector<std::uint8_t> d = readFile(path);
    PsfFont font;
    std::size_t tableAt = 0;
    bool hasTable = false;
    bool psf2 = false;
    if (d.size() >= 4 && d[0] == 0x36 && d[1] == 0x04) {
        const std::uint8_t mode = d[2];
        font.glyphCount_ = (mode & 1) ? 512 : 256;
        font.width_ = 8;
        font.height_ = d[3];
        font.bytesPerRow_ = 1;
        font.bytesPerGlyph_ = d[3];
        hasTable = (mode & 6) != 0;
        tableAt = 4;
    } else if (d.size() >= 32 && le32(d, 0) == 0x864ab572u) {
        psf2 = true;
        const std::uint32_t headerSize = le32(d, 8), flags = le32(d, 12), count = le32(d, 16), size = le32(d, 20);
        const std::uint32_t height = le32(d, 24), width = le32(d, 28);
        if (count == 0 || count > 65536 || width == 0 || width > 64 || height == 0 || height > 64 ||
            size != (width + 7) / 8 * height || headerSize < 32 || headerSize > d.size())
            throw std::runtime_error("malformed PSF2 header in " + path);
        font.glyphCount_ = static_cast<int>(count);
        font.width_ = static_cast<int>(width);
        font.height_ = static_cast<int>(height);
        font.bytesPerRow_ = static_cast<int>((width + 7) / 8);
        font.bytesPerGlyph_ = static_cast<int>(size);
        hasTable = (flags & 1) != 0;
        tableAt = headerSize;
    } else {
        throw std::runtime_error("not a PSF font: " + path);
    }
    if (font.height_ == 0) throw std::runtime_error("malformed PSF header in " + path);
    const std::size_t bitmapBytes = std::size_t(font.glyphCount_) * font.bytesPerGlyph_;
    if (d.size() < tableAt + bitmapBytes) throw std::runtime_error("truncated font " + path);
    font.bitmaps_.assign(d.begin() + tableAt, d.begin() + tableAt + bitmapBytes);
    if (!hasTable) throw std::runtime_error("font has no Unicode table: " + path);

    // The Unicode table: per glyph, its code points, then sequences (ignored),
    // then a terminator.
    std::size_t at = tableAt + bitmapBytes;
    for (int glyph = 0; glyph < font.glyphCount_ && at < d.size(); ++glyph) {
        bool inSequence = false;
        if (!psf2) {
            while (at + 1 < d.size()) {
                const std::uint16_t v = d[at] | (d[at + 1] << 8);
                at += 2;
                if (v == 0xFFFF) break;
                if (v == 0xFFFE) inSequence = true;
                else if (!inSequence) font.glyphOf_.emplace(v, glyph);
            }
        } else {
            while (at < d.size()) {
                const std::uint8_t b = d[at];
                if (b == 0xFF) {
                    ++at;
                    break;
                }
                if (b == 0xFE) {
                    ++at;
                    inSequence = true;
                    continue;
                }
                const char32_t c = decodeUtf8(d, d.size(), at);
                if (!inSequence && c != 0xFFFFFFFF) font.glyphOf_.emplace(c, glyph);
            }
        }
    }
    return font;
}

int PsfFont::glyphFor(char32_t codePoint) const {
    const auto it = glyphOf_.find(codePoint);
    return it == glyphOf_.end() ? -1 : it->second;
}

bool PsfFont::pixel(int glyph, int x, int y) const {
    const std::uint8_t row = bitmaps_[std::size_t(glyph) * bytesPerGlyph_ + std::size_t(y) * bytesPerRow_ + x / 8];
    return (row >> (7 - x % 8)) & 1;
}

std::string defaultConsoleFontPath() {
#ifdef _WIN32
    // Windows has no console fonts of this kind (and "/usr/share" would name
    // a folder of the current drive): the program's own copy is used.
    return {};
#else
    // VGA 8 x 8 fonts, as a PC shows 80 x 50 text (640 x 400 pixels, square
    // cells), whose tables cover every code page 437 picture the scenes use
    // (block, diamond, bullets, circles, sun); the first keeps code page 437's
    // own glyph shapes.
    static const char* const candidates[] = {
        "FullCyrSlav-VGA8.psf.gz", "Uni2-VGA8.psf.gz", "Lat2-VGA8.psf.gz", "FullGreek-VGA8.psf.gz",
    };
    for (const char* name : candidates) {
        const std::string path = std::string("/usr/share/consolefonts/") + name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) return path;
    }
    return {};
#endif
}
