// The demo's console, clock, keyboard and message-box calls on a web page.
// The console is the page's canvas: each present draws the 80 x 50 cells in
// the VGA 8 x 8 console font (the page puts the font at /font.psf.gz) and
// hands the picture to the page. The clock is the page's monotonic clock. Esc
// comes from the page's key handler between frames. A browser cannot wait
// inside a frame: waitForEscapeUntil only notes the deadline, and the page
// starts the next frame then (entry.cpp).
#include <emscripten.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/common/psf_font.h"
#include "platform/common/text_raster.h"
#include "platform/console.h"
#include "platform/keyboard.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"
#include "platform/session.h"
#include "platform/timer.h"
#include "platform/web/page_bridge.h"

// The page's side, in page/demo.js (Module.page).
EM_JS(void, cf_show_picture, (const std::uint8_t* rgba, int width, int height),
      { Module.page.showPicture(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height); });
EM_JS(void, cf_set_title, (const char* title), { Module.page.setTitle(UTF8ToString(title)); });
EM_JS(void, cf_show_message, (const char* caption, const char* text),
      { Module.page.showMessage(UTF8ToString(caption), UTF8ToString(text)); });

void page::showPicture(const std::uint8_t* rgba, int width, int height) { cf_show_picture(rgba, width, height); }
void page::setTitle(const char* title) { cf_set_title(title); }
void page::showMessage(const char* caption, const char* text) { cf_show_message(caption, text); }
double page::nowMs() { return emscripten_get_now(); }

namespace {

bool escapePressed = false;
std::uint32_t escapeQueries = 0;
std::int64_t deadlineNs = 0;
TerminalStats stats;

constexpr const char* fontPath = "/font.psf.gz";
constexpr int pictureWidth = 640;
constexpr int pictureHeight = 400;
std::unique_ptr<TextRaster> raster;  // made at the first present
bool rasterFailed = false;
std::uint8_t indexes[pictureWidth * pictureHeight];
// The picture as the canvas takes it: bytes red, green, blue, alpha, each
// pixel one word (WebAssembly is little-endian).
std::uint32_t rgba[pictureWidth * pictureHeight];
std::uint32_t paletteRgba[16];

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
    return true;
}

}  // namespace

void pressEscapeOnPage() { escapePressed = true; }
std::int64_t nextFrameDeadlineNs() { return deadlineNs; }

// The page always shows the VGA colours on black.
void setConsolePalette(ConsolePalette) {}

HANDLE GetStdHandle(DWORD which) { return which == STD_OUTPUT_HANDLE ? static_cast<HANDLE>(rgba) : nullptr; }

BOOL SetConsoleTitleA(const char* title) {
    if (title == nullptr) return FALSE;
    page::setTitle(title);
    return TRUE;
}

// The canvas is always 80 x 50 cells.
BOOL SetConsoleWindowInfo(HANDLE, BOOL absolute, const SMALL_RECT* window) {
    return absolute != FALSE && window != nullptr && window->Left == 0 && window->Top == 0 && window->Right == 79 &&
                   window->Bottom == 49
               ? TRUE
               : FALSE;
}

BOOL SetConsoleScreenBufferSize(HANDLE, COORD size) { return size.X == 80 && size.Y == 50 ? TRUE : FALSE; }

BOOL WriteConsoleOutputA(HANDLE, const CHAR_INFO* cells, COORD bufferSize, COORD bufferCoord,
                         SMALL_RECT* writeRegion) {
    ++stats.presents;
    stats.escapeQueriesAtPresent = escapeQueries;
    // Only the whole grid is ever written: 80 x 50 cells from the top-left.
    if (cells == nullptr || writeRegion == nullptr || bufferSize.X != 80 || bufferSize.Y != 50 ||
        bufferCoord.X != 0 || bufferCoord.Y != 0 || writeRegion->Left != 0 || writeRegion->Top != 0 ||
        writeRegion->Right != 79 || writeRegion->Bottom != 49 || !makeRaster()) {
        return FALSE;
    }
    raster->draw(cells, indexes, pictureWidth);
    for (int i = 0; i < pictureWidth * pictureHeight; ++i) rgba[i] = paletteRgba[indexes[i]];
    page::showPicture(reinterpret_cast<const std::uint8_t*>(rgba), pictureWidth, pictureHeight);
    ++stats.updates;
    stats.bytes += sizeof rgba;
    return TRUE;
}

// Nothing to hand back: the page shows its end screen.
void restoreTerminal() {}

// Every present draws the whole picture.
void repaintWholeScreen() {}

TerminalStats terminalStats() { return stats; }

DWORD timeGetTime() { return static_cast<DWORD>(static_cast<std::uint64_t>(emscripten_get_now())); }

std::int64_t monotonicNanoseconds() { return static_cast<std::int64_t>(emscripten_get_now() * 1e6); }

// A page cannot know its processor time.
double processCpuSeconds() { return 0.0; }

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey != VK_ESCAPE) return 0;
    ++escapeQueries;
    return escapePressed ? static_cast<SHORT>(0x8001) : 0;
}

bool waitForEscapeUntil(std::int64_t deadline) {
    deadlineNs = deadline;
    return escapePressed;
}

void setEscapePressedForTesting(bool pressed) { escapePressed = pressed; }

int MessageBoxA(HANDLE, const char* text, const char* caption, unsigned) {
    page::showMessage(caption != nullptr ? caption : "", text != nullptr ? text : "");
    return 1;  // IDOK
}

std::string executableFolder() { return "/"; }
