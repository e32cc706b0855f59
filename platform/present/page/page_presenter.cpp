// The grid on the web page's canvas, in the VGA 8 x 8 console font (the page
// puts the font at /font.psf.gz). Where the page draws the cells itself
// (page/picture.js), each present hands it the 80 x 50 cells as they are, and
// it draws the glyphs the rasterizer drew once for it; else each present
// draws the picture with the rasterizer and hands the page its pixels. Esc
// comes from the page's key handler between frames. A browser cannot wait
// inside a frame: waitForEscapeUntil only notes the deadline, and the page
// starts the next frame then (platform/web/entry.cpp).
#include <emscripten.h>

#include <cstddef>
#include <memory>
#include <stdexcept>

#include "platform/common/present_times.h"
#include "platform/common/psf_font.h"
#include "platform/common/text_raster.h"
#include "platform/present/presenters.h"
#include "platform/timer.h"
#include "platform/web/page_bridge.h"

// The page's side, in page/demo.js (Module.page).
EM_JS(int, cf_draws_cells, (), { return Module.page.drawsCells() ? 1 : 0; });
EM_JS(void, cf_set_glyphs, (const std::uint8_t* glyphs, int width, int height, const std::uint8_t* palette), {
    Module.page.setGlyphs(HEAPU8.subarray(glyphs, glyphs + width * height), width, height,
                          HEAPU8.subarray(palette, palette + 48));
});
EM_JS(void, cf_show_cells, (const std::uint8_t* cells, int columns, int rows),
      { Module.page.showCells(HEAPU8.subarray(cells, cells + columns * rows * 4), columns, rows); });
EM_JS(void, cf_show_picture, (const std::uint8_t* rgba, int width, int height),
      { Module.page.showPicture(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height); });
EM_JS(void, cf_set_title, (const char* title), { Module.page.setTitle(UTF8ToString(title)); });
EM_JS(void, cf_show_message, (const char* caption, const char* text),
      { Module.page.showMessage(UTF8ToString(caption), UTF8ToString(text)); });

bool page::drawsCells() { return cf_draws_cells() != 0; }
void page::setGlyphs(const std::uint8_t* glyphs, int width, int height, const std::uint8_t* palette) {
    cf_set_glyphs(glyphs, width, height, palette);
}
void page::showCells(const std::uint8_t* cells, int columns, int rows) { cf_show_cells(cells, columns, rows); }
void page::showPicture(const std::uint8_t* rgba, int width, int height) { cf_show_picture(rgba, width, height); }
void page::setTitle(const char* title) { cf_set_title(title); }
void page::showMessage(const char* caption, const char* text) { cf_show_message(caption, text); }

// showCells hands the page the cells as they lie: the glyph byte first, the
// attribute's low byte third (WebAssembly is little-endian).
static_assert(offsetof(CHAR_INFO, Attributes) == 2);

namespace {

bool escapeDown = false;
std::int64_t deadline = 0;

constexpr const char* fontPath = "/font.psf.gz";
constexpr int pictureWidth = 640;
constexpr int pictureHeight = 400;
std::unique_ptr<TextRaster> raster;  // made at the first present
bool rasterFailed = false;
bool pageDrawsCells = false;
std::uint8_t indexes[pictureWidth * pictureHeight];
// The picture as the canvas takes it: bytes red, green, blue, alpha, each
// pixel one word (WebAssembly is little-endian).
std::uint32_t rgba[pictureWidth * pictureHeight];
std::uint32_t paletteRgba[16];

// The page's glyphs: the rasterizer draws the 256 glyph bytes, 80 to a row,
// in white, and every pixel it drew is a glyph's.
void giveGlyphs() {
    constexpr int glyphRows = 256 / 80 + 1;
    static CHAR_INFO all[80 * 50];
    for (int b = 0; b < 256; ++b) {
        all[b].Char.AsciiChar = static_cast<char>(b);
        all[b].Attributes = 15;
    }
    raster->draw(all, indexes, pictureWidth);
    constexpr int size = pictureWidth * glyphRows * 8;
    for (int i = 0; i < size; ++i) indexes[i] = indexes[i] != 0;
    page::setGlyphs(indexes, pictureWidth, glyphRows * 8, &textModePalette[0][0]);
}

bool makeRaster() {
    if (raster) return true;
    if (rasterFailed) return false;
    try {
        raster = std::make_unique<TextRaster>(PsfFont::load(fontPath), 1);
        if (raster->width() != pictureWidth || raster->height() != pictureHeight)
            throw std::runtime_error("the font is not 8 x 8");
    } catch (const std::exception& e) {
        raster.reset();
        rasterFailed = true;
        page::showMessage("The picture cannot be drawn", e.what());
        return false;
    }
    for (int c = 0; c < 16; ++c) {
        const std::uint8_t* p = textModePalette[c];
        paletteRgba[c] = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | 0xFF000000u;
    }
    pageDrawsCells = page::drawsCells();
    if (pageDrawsCells) giveGlyphs();
    return true;
}

// The page always shows the VGA colours on black, on a canvas of 80 x 50 cells.
class PagePresenter final : public Presenter {
public:
    bool open() override { return true; }
    bool setTitle(const char* title) override {
        page::setTitle(title);
        return true;
    }
    bool setWindow(int columns, int rows) override { return columns == 80 && rows == 50; }
    bool setBufferSize(int columns, int rows) override { return columns == 80 && rows == 50; }

    // Every present shows the whole picture: the page is handed the cells,
    // or the pixels.
    bool present(const CHAR_INFO* cells) override {
        ++counts.presents;
        if (!makeRaster()) return false;
        const std::int64_t begin = monotonicNanoseconds();
        if (pageDrawsCells) {
            page::showCells(reinterpret_cast<const std::uint8_t*>(cells), 80, 50);
            counts.bytes += 80 * 50 * sizeof(CHAR_INFO);
        } else {
            raster->draw(cells, indexes, pictureWidth);
            for (int i = 0; i < pictureWidth * pictureHeight; ++i) rgba[i] = paletteRgba[indexes[i]];
            page::showPicture(reinterpret_cast<const std::uint8_t*>(rgba), pictureWidth, pictureHeight);
            counts.bytes += sizeof rgba;
        }
        ++counts.updates;
        presentTimes.add(monotonicNanoseconds() - begin);
        return true;
    }

    bool escapePressed() override { return escapeDown; }
    bool waitForEscapeUntil(std::int64_t deadlineNs) override {
        deadline = deadlineNs;
        return escapeDown;
    }

    // The page goes on (a browser cannot wait).
    void messageBox(const char* caption, const char* text) override { page::showMessage(caption, text); }

    // Nothing to hand back: the page shows its end screen.
    void close() override {}
    // The bytes handed to the page (the cells, or the pixels), and the time
    // the page's thread spent on the picture in each present.
    PresentStats stats() const override {
        PresentStats s = counts;
        s.medianPresentMs = presentTimes.percentileMs(50);
        s.percentile99PresentMs = presentTimes.percentileMs(99);
        s.shownOn = "page";
        if (raster) s.detail = pageDrawsCells ? "the page drew the cells" : "the program's pixels on a 2D canvas";
        return s;
    }

private:
    PresentStats counts;
    PresentTimes presentTimes;
};

}  // namespace

void pressEscapeOnPage() { escapeDown = true; }
std::int64_t nextFrameDeadlineNs() { return deadline; }

std::unique_ptr<Presenter> makePagePresenter() { return std::make_unique<PagePresenter>(); }
