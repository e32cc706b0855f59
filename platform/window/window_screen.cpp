#include "platform/window/window_screen.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>

#include "platform/common/cp437.h"
#include "platform/common/present_times.h"
#include "platform/common/text_raster.h"
#include "platform/timer.h"

namespace {

constexpr int columns = 80;
constexpr int rows = 50;

std::string fontPath;
int framesPerSecond = 60;
#ifdef _WIN32
// SDL's default on Windows, direct3d, took 1.4 cores at 60 frames a second
// under Wine (its texture locks wait on Wine's drawing thread); the software
// renderer, drawing through GDI, 0.2 core. Both are exact.
const char* rendererChoice = "software";
#else
const char* rendererChoice = nullptr;
#endif

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
std::optional<TextRaster> raster;  // the picture at scale 1; the renderer widens it
bool open = false;
bool videoStarted = false;

// Set by the window's events, read by the marcher's key queries.
std::atomic<bool> escapePressed{false};

// The cells last drawn into the texture: a frame that shows the same cells
// is presented again without handing its pixels over.
CHAR_INFO drawnCells[columns * rows];
bool textureFilled = false;

PresentTimes presentTimes;
WindowStats stats;

// SDL's own handlers would turn Ctrl-C in the terminal into a quit event;
// it stays the interrupt it is everywhere else.
void setCommonHints() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
#ifdef _WIN32
    // Windows would otherwise stretch, and smooth, the window of a program
    // that does not handle the display's scaling (125 %, 150 %...): the
    // picture is drawn in the display's own pixels instead.
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_AWARENESS, "permonitorv2");
#endif
}

std::string sdlError(const char* what) { return std::string(what) + ": " + SDL_GetError(); }

void pressEscape() { escapePressed.store(true); }

bool fullscreen() { return window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0; }

void toggleFullscreen() {
    const bool toFullscreen = !fullscreen();
    SDL_SetWindowFullscreen(window, toFullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    // The pointer stays out of the picture while it fills the screen.
    SDL_ShowCursor(toFullscreen ? SDL_DISABLE : SDL_ENABLE);
}

// Ctrl-C in the window does what it does in a terminal: interrupts the
// program, which ends by SIGINT without its exit lines. Where SIGINT is
// ignored (nohup), it ends the demo as Esc does.
void interrupt() {
    std::raise(SIGINT);
    pressEscape();
}

void handleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            pressEscape();
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) pressEscape();
            break;
        case SDL_KEYDOWN: {
            const SDL_Keycode key = event.key.keysym.sym;
            const Uint16 mod = event.key.keysym.mod;
            if (key == SDLK_ESCAPE) {
                pressEscape();
            } else if ((key == SDLK_F11 || ((key == SDLK_RETURN || key == SDLK_KP_ENTER) && (mod & KMOD_ALT) != 0)) &&
                       event.key.repeat == 0) {
                toggleFullscreen();
            } else if (key == SDLK_c && (mod & KMOD_CTRL) != 0) {
                interrupt();
            }
            break;
        }
        default:
            break;
    }
}

void handleWaitingEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) handleEvent(event);
}

// The largest whole scale at which the picture fits width x height, at least 1.
int scaleToFit(int width, int height) {
    if (!raster) return 1;
    return std::max(1, std::min(width / raster->width(), height / raster->height()));
}

// The window's scale: the largest that fits the usable area of its display,
// with the window manager's frame around it.
int windowScale(int displayIndex, int frameWidth, int frameHeight) {
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(displayIndex, &usable) != 0) return 1;
    return scaleToFit(usable.w - frameWidth, usable.h - frameHeight);
}

// Whether presenting waits for the display's refresh: only where the driver
// really does (SDL otherwise sleeps a refresh period by the clock itself), and
// only where that keeps the frames' schedule: a rate the display reaches.
bool presentsInStepWithDisplay(const SDL_RendererInfo& info) {
    if ((info.flags & SDL_RENDERER_PRESENTVSYNC) == 0) return false;
    const std::string name = info.name;
    if (name == "software") return false;
    if (name == "opengl" || name == "opengles2" || name == "opengles") return SDL_GL_GetSwapInterval() != 0;
    return true;
}

bool wantsVsync(int displayIndex) {
    SDL_DisplayMode mode{};
    if (framesPerSecond <= 0 || SDL_GetCurrentDisplayMode(displayIndex, &mode) != 0 || mode.refresh_rate <= 0)
        return false;
    return framesPerSecond <= mode.refresh_rate;
}

std::string createWindow() {
    const int scale = windowScale(0, 0, 0);
    window = SDL_CreateWindow("compofiller", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, raster->width() * scale,
                              raster->height() * scale, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window == nullptr) return sdlError("cannot open a window");
    SDL_SetWindowMinimumSize(window, raster->width(), raster->height());
    // With the window manager's frame known, a scale whose frame would not
    // fit the usable area is taken down.
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0) {
        const int framed = windowScale(std::max(0, SDL_GetWindowDisplayIndex(window)), left + right, top + bottom);
        if (framed < scale) {
            SDL_SetWindowSize(window, raster->width() * framed, raster->height() * framed);
            SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        }
    }
    // Keys only: no text input (and no input method) is wanted.
    SDL_StopTextInput();

    const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
    const bool vsync = wantsVsync(display);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    if (rendererChoice != nullptr) SDL_SetHint(SDL_HINT_RENDER_DRIVER, rendererChoice);
    renderer = SDL_CreateRenderer(window, -1, vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (renderer == nullptr) return sdlError("cannot draw in the window");
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer, &info);
    stats.vsync = presentsInStepWithDisplay(info);
    if (vsync && !stats.vsync) SDL_RenderSetVSync(renderer, 0);
    std::snprintf(stats.renderer, sizeof stats.renderer, "%s", info.name != nullptr ? info.name : "?");

    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, raster->width(),
                                raster->height());
    if (texture == nullptr) return sdlError("cannot draw in the window");
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    return "";
}

void destroyWindow() {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    if (window != nullptr) SDL_DestroyWindow(window);
    texture = nullptr;
    renderer = nullptr;
    window = nullptr;
    if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoStarted = false;
}

void draw() {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    int width = 0, height = 0;
    SDL_GetRendererOutputSize(renderer, &width, &height);
    const int scale = scaleToFit(width, height);
    const int w = raster->width() * scale, h = raster->height() * scale;
    const SDL_Rect target{(width - w) / 2, (height - h) / 2, w, h};
    SDL_RenderCopy(renderer, texture, nullptr, &target);
    SDL_RenderPresent(renderer);
    stats.scale = scale;
}

}  // namespace

void setWindowOptions(const std::string& path, int rate) {
    fontPath = path;
    framesPerSecond = rate;
}

void chooseWindowRenderer(const char* driver) { rendererChoice = driver; }

std::string openWindowScreen() {
    if (open) return "";
    if (fontPath.empty()) return "no console font to draw with (install console-setup-linux)";
    try {
        raster.emplace(PsfFont::load(fontPath), 1);
    } catch (const std::exception& e) {
        return std::string("cannot read the console font: ") + e.what();
    }
#ifndef _WIN32
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        return "no display to open a window on: neither DISPLAY nor WAYLAND_DISPLAY is set";
#endif
    setCommonHints();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return sdlError("cannot open a window");
    videoStarted = true;
    const std::string problem = createWindow();
    if (!problem.empty()) {
        destroyWindow();
        return problem;
    }
    open = true;
    stats.opened = true;
    escapePressed.store(false);
    textureFilled = false;
    presentTimes.clear();
    // Black until the first frame.
    draw();
    return "";
}

bool windowScreenOpen() { return open; }

void setWindowTitle(const char* title) {
    if (!open || title == nullptr) return;
    // The title's bytes are code page 437, as the console takes them.
    std::string utf8;
    for (const char* p = title; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        appendUtf8(utf8, byte < 0x20 || byte == 0x7F ? U' ' : cp437ToUnicode[byte]);
    }
    SDL_SetWindowTitle(window, utf8.c_str());
}

bool presentOnWindow(const CHAR_INFO* cells) {
    if (!open) return false;
    handleWaitingEvents();
    const std::int64_t start = monotonicNanoseconds();
    if (!textureFilled || std::memcmp(drawnCells, cells, sizeof drawnCells) != 0) {
        void* pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) == 0) {
            raster->drawArgb(cells, static_cast<std::uint32_t*>(pixels), pitch / 4);
            SDL_UnlockTexture(texture);
            std::memcpy(drawnCells, cells, sizeof drawnCells);
            textureFilled = true;
            ++stats.uploads;
            stats.bytes += std::uint64_t(raster->width()) * raster->height() * 4;
        }
    }
    draw();
    presentTimes.add(monotonicNanoseconds() - start);
    ++stats.presents;
    return true;
}

bool windowEscapePressed() { return escapePressed.load(std::memory_order_relaxed); }

bool waitForWindowEscapeUntil(std::int64_t deadlineNs) {
    for (;;) {
        if (escapePressed.load()) return true;
        const std::int64_t left = deadlineNs - monotonicNanoseconds();
        if (left <= 0) return false;
        if (!open) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(left));
            continue;
        }
        // SDL waits in whole milliseconds; the last part of one is slept.
        constexpr std::int64_t millisecond = 1000000;
        if (left < millisecond) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(left));
            continue;
        }
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, int(left / millisecond)) != 0) {
            handleEvent(event);
            handleWaitingEvents();
        }
    }
}

void showWindowMessageBox(const char* caption, const char* text) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, open ? window : nullptr);
}

void closeWindowScreen() {
    if (!open) return;
    open = false;
    destroyWindow();
}

WindowStats windowStats() {
    WindowStats s = stats;
    s.medianPresentMs = presentTimes.percentileMs(50);
    s.percentile99PresentMs = presentTimes.percentileMs(99);
    return s;
}
