#pragma once
// What the window's two files share: the window and its picture
// (window_screen.cpp opens the window and takes its events;
// window_parts.cpp draws the picture into it, one of two ways).
#include <SDL2/SDL.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/common/psf_font.h"
#include "platform/console.h"

namespace window_parts {

constexpr int columns = 80;
constexpr int rows = 50;

extern std::optional<PsfFont> font;
extern int pictureWidth, pictureHeight;  // at scale 1: 80 and 50 cells of the font
extern SDL_Window* window;
// The window needs its picture again (uncovered, shown again, resized).
extern bool pictureStale;

// Figures since the window opened.
struct WindowCounts {
    std::uint64_t presents = 0;  // frames presented
    std::uint64_t uploads = 0;   // of them, frames whose pixels were handed over
    std::uint64_t bytes = 0;     // bytes of those pixels: the picture's 4 a pixel (at its scale with
                                 // "framebuffer", at scale 1 through a renderer)
    int scale = 0;               // the picture's whole scale at the last present
    bool vsync = false;          // presents wait for the display's refresh
    char renderer[32] = {};      // "framebuffer", or SDL's render driver
};
extern WindowCounts counts;

std::string sdlError(const char* what);
// With SDL's video started: where no display answered and SDL took a video
// driver that shows nothing ("offscreen"), why there is no window; else "".
// Only the user's own SDL_VIDEODRIVER chooses such a driver.
std::string noDisplayAnswers();
// The largest whole scale at which the picture fits width x height, at least 1.
int scaleToFit(int width, int height);
// The display's refresh period in nanoseconds; 0 when unknown.
std::int64_t refreshPeriod();

// The window's own pixels: true (and chosen) when the window offers pixels
// the rasterizer can write.
extern bool usingFramebuffer;
bool openFramebuffer();
bool presentOnFramebuffer(const CHAR_INFO* cells, bool cellsChanged);

// An SDL renderer: `driver` null is the first SDL offers. With `onlyInStep`,
// it is kept only where it presents in step with the display and draws on a
// GPU. Returns the problem, or "" (with rendererOpen() false when it was not
// kept).
std::string openRenderer(const char* driver, bool vsync, bool onlyInStep = false);
bool rendererOpen();
bool presentOnRenderer(const CHAR_INFO* cells, bool cellsChanged);

// Lets go of either.
void closePictures();

}  // namespace window_parts
