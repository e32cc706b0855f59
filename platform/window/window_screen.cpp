#include "platform/window/window_screen.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/common/cp437.h"
#include "platform/common/present_times.h"
#include "platform/common/text_raster.h"
#include "platform/timer.h"

#ifdef _WIN32
#include "platform/windows/win32.h"
#endif
#ifdef SDL_VIDEO_DRIVER_X11
#include <SDL2/SDL_syswm.h>
#include <poll.h>
#endif

namespace {

constexpr int columns = 80;
constexpr int rows = 50;

std::string fontPath;
int framesPerSecond = 60;
#ifdef _WIN32
// Windows: the window's own pixels, through GDI. Under Wine, SDL's direct3d
// (its first renderer there, which offers vsync) took 1.0 to 1.3 cores at 60
// frames a second, its texture locks waiting on Wine's drawing thread; its
// software renderer 0.23 to 0.31, the window's own pixels 0.22 to 0.24.
const char* presenterChoice = "framebuffer";
#else
const char* presenterChoice = nullptr;
#endif

std::optional<PsfFont> font;
int pictureWidth = 0, pictureHeight = 0;  // at scale 1: 80 and 50 cells of the font
SDL_Window* window = nullptr;
bool open = false;
// The X server connection's socket while the window is on X11, else -1.
int xConnection = -1;
bool videoStarted = false;

// Set by the window's events, read by the marcher's key queries.
std::atomic<bool> escapePressed{false};

// The cells last handed to the window: a frame that shows the same cells
// again hands nothing over unless the window needs its picture again
// (`pictureStale`: uncovered, shown again, resized).
CHAR_INFO shownCells[columns * rows];
bool pictureStale = true;

PresentTimes presentTimes;
WindowStats stats;

std::string sdlError(const char* what) { return std::string(what) + ": " + SDL_GetError(); }

// The largest whole scale at which the picture fits width x height, at least 1.
int scaleToFit(int width, int height) {
    return std::max(1, std::min(width / pictureWidth, height / pictureHeight));
}

// ---- The window's own pixels, drawn by the rasterizer at the scale.

struct Framebuffer {
    std::optional<TextRaster> raster;  // at the current scale
    SDL_Surface* surface = nullptr;    // the window's pixels, as last seen
    int surfaceWidth = 0, surfaceHeight = 0;
    std::vector<std::uint32_t> clipped;  // the picture, where the window is smaller than it
};
Framebuffer framebuffer;
bool usingFramebuffer = false;

// The pixel layouts the rasterizer writes: 0xAARRGGBB words.
bool takesArgbWords(const SDL_Surface* surface) {
    const Uint32 f = surface->format->format;
    return f == SDL_PIXELFORMAT_RGB888 || f == SDL_PIXELFORMAT_ARGB8888;
}

// True when the window offers pixels of its own that the rasterizer can write.
bool openFramebuffer() {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr || !takesArgbWords(surface)) return false;
    usingFramebuffer = true;
    std::snprintf(stats.renderer, sizeof stats.renderer, "framebuffer");
    return true;
}

bool presentOnFramebuffer(const CHAR_INFO* cells, bool cellsChanged) {
    Framebuffer& fb = framebuffer;
    SDL_Surface* surface = SDL_GetWindowSurface(window);  // a new one after a resize
    if (surface == nullptr || !takesArgbWords(surface)) return false;
    const int scale = scaleToFit(surface->w, surface->h);
    // A new surface, or one the window system lost (uncovered, shown again),
    // is drawn whole, black around the picture.
    bool whole = pictureStale || surface != fb.surface || surface->w != fb.surfaceWidth || surface->h != fb.surfaceHeight;
    if (!fb.raster || fb.raster->scaleFactor() != scale) {
        fb.raster.emplace(*font, scale);
        whole = true;
    }
    if (!whole && !cellsChanged) return true;
    fb.surface = surface;
    fb.surfaceWidth = surface->w;
    fb.surfaceHeight = surface->h;
    const int w = fb.raster->width(), h = fb.raster->height();
    const int left = (surface->w - w) / 2, top = (surface->h - h) / 2;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    if (whole) SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    auto* pixels = static_cast<std::uint32_t*>(surface->pixels);
    const std::ptrdiff_t stride = surface->pitch / 4;
    if (left >= 0 && top >= 0) {
        fb.raster->drawArgb(cells, pixels + top * stride + left, stride);
    } else {
        // A window smaller than the picture at scale 1 shows its centre.
        fb.clipped.resize(std::size_t(w) * h);
        fb.raster->drawArgb(cells, fb.clipped.data(), w);
        const int x0 = std::max(0, -left), y0 = std::max(0, -top);
        const int shownWidth = std::min(w - x0, surface->w), shownHeight = std::min(h - y0, surface->h);
        for (int y = 0; y < shownHeight; ++y) {
            std::memcpy(pixels + (std::max(0, top) + y) * stride + std::max(0, left),
                        fb.clipped.data() + std::size_t(y0 + y) * w + x0, std::size_t(shownWidth) * 4);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    SDL_Rect picture{std::max(0, left), std::max(0, top), std::min(w, surface->w), std::min(h, surface->h)};
    if (whole) SDL_UpdateWindowSurface(window);
    else SDL_UpdateWindowSurfaceRects(window, &picture, 1);
    ++stats.uploads;
    stats.bytes += whole ? std::uint64_t(surface->w) * surface->h * 4 : std::uint64_t(picture.w) * picture.h * 4;
    stats.scale = scale;
    return true;
}

// ---- An SDL renderer, which widens the 640 x 400 picture to the scale.

SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
std::optional<TextRaster> rasterAtOne;

// True when the OpenGL the renderer draws with is a rasterizer on the
// processor (Mesa's llvmpipe and softpipe), which costs several times what
// the window's own pixels do.
bool openGlDrawsOnTheProcessor() {
    using GetString = const unsigned char* (*)(unsigned);
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (getString == nullptr) return false;
    const unsigned char* name = getString(0x1F01);  // GL_RENDERER
    if (name == nullptr) return false;
    const std::string renderer = reinterpret_cast<const char*>(name);
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"}) {
        if (renderer.find(software) != std::string::npos) return true;
    }
    return false;
}

// The display's refresh period in nanoseconds; 0 when unknown.
std::int64_t refreshPeriod() {
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(std::max(0, SDL_GetWindowDisplayIndex(window)), &mode) != 0 || mode.refresh_rate <= 0)
        return 0;
    return 1000000000 / mode.refresh_rate;
}

// Whether presenting waits for the display's refresh: only where the driver
// really does (SDL otherwise sleeps a refresh period by the clock itself,
// and some drivers take the request and ignore it, as Wine's Direct3D
// does). Four presents in step with the display take three periods at
// least; ones that do not wait take a fraction of one.
bool presentsInStepWithDisplay(const SDL_RendererInfo& info) {
    if ((info.flags & SDL_RENDERER_PRESENTVSYNC) == 0) return false;
    const std::string name = info.name;
    if (name == "software") return false;
    if (name.rfind("opengl", 0) == 0 && SDL_GL_GetSwapInterval() == 0) return false;
    const std::int64_t period = refreshPeriod();
    const std::int64_t start = monotonicNanoseconds();
    for (int i = 0; i < 4; ++i) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        SDL_RenderPresent(renderer);
    }
    return period > 0 && monotonicNanoseconds() - start >= 2 * period;
}

void closeRenderer() {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    texture = nullptr;
    renderer = nullptr;
}

// `driver` null: the first renderer SDL offers. With `onlyInStep`, it is
// kept only where it presents in step with the display and draws on a GPU.
// Returns the problem, or "" (with `renderer` null when it was not kept).
std::string openRenderer(const char* driver, bool vsync, bool onlyInStep = false) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    if (driver != nullptr) SDL_SetHint(SDL_HINT_RENDER_DRIVER, driver);
    renderer = SDL_CreateRenderer(window, -1, vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (renderer == nullptr) return sdlError("cannot draw in the window");
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer, &info);
    const std::string name = info.name != nullptr ? info.name : "?";
    stats.vsync = presentsInStepWithDisplay(info);
    if (vsync && !stats.vsync) SDL_RenderSetVSync(renderer, 0);
    if (onlyInStep && (!stats.vsync || (name.rfind("opengl", 0) == 0 && openGlDrawsOnTheProcessor()))) {
        closeRenderer();
        stats.vsync = false;
        return "";
    }
    std::snprintf(stats.renderer, sizeof stats.renderer, "%s", name.c_str());
    rasterAtOne.emplace(*font, 1);
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, rasterAtOne->width(),
                                rasterAtOne->height());
    if (texture == nullptr) return sdlError("cannot draw in the window");
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    return "";
}

bool presentOnRenderer(const CHAR_INFO* cells, bool cellsChanged) {
    if (cellsChanged || pictureStale) {
        void* pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return false;
        rasterAtOne->drawArgb(cells, static_cast<std::uint32_t*>(pixels), pitch / 4);
        SDL_UnlockTexture(texture);
        ++stats.uploads;
        stats.bytes += std::uint64_t(rasterAtOne->width()) * rasterAtOne->height() * 4;
    }
    // Every present draws the whole picture: what a swap leaves behind is
    // undefined.
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    int width = 0, height = 0;
    SDL_GetRendererOutputSize(renderer, &width, &height);
    const int scale = scaleToFit(width, height);
    const int w = pictureWidth * scale, h = pictureHeight * scale;
    const SDL_Rect target{(width - w) / 2, (height - h) / 2, w, h};
    SDL_RenderCopy(renderer, texture, nullptr, &target);
    SDL_RenderPresent(renderer);
    stats.scale = scale;
    return true;
}

// ---- The window and its events.

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
// ignored (nohup), it ends the demo as Esc does. On Windows, as Ctrl-C ends
// a console program there: at once, with STATUS_CONTROL_C_EXIT (the C
// runtime's SIGINT would end it with status 3 instead).
void interrupt() {
#ifdef _WIN32
    win32::endAsInterrupted();
#else
    std::raise(SIGINT);
    pressEscape();
#endif
}

void handleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            pressEscape();
            break;
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    pressEscape();
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SHOWN:
                case SDL_WINDOWEVENT_RESTORED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    pictureStale = true;
                    break;
                default:
                    break;
            }
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

// The window's scale: the largest that fits the usable area of its display,
// with the window manager's frame around it.
int windowScale(int displayIndex, int frameWidth, int frameHeight) {
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(displayIndex, &usable) != 0) return 1;
    return scaleToFit(usable.w - frameWidth, usable.h - frameHeight);
}

// Presenting waits for the display only where that keeps the frames'
// schedule: at a rate the display reaches.
bool wantsVsync() {
    const std::int64_t period = refreshPeriod();
    return framesPerSecond > 0 && period > 0 && 1000000000 / framesPerSecond >= period;
}

std::string createWindow() {
    const int scale = windowScale(0, 0, 0);
    window = SDL_CreateWindow("compofiller", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, pictureWidth * scale,
                              pictureHeight * scale, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window == nullptr) return sdlError("cannot open a window");
#ifdef SDL_VIDEO_DRIVER_X11
    SDL_SysWMinfo system;
    SDL_VERSION(&system.version);
    if (SDL_GetWindowWMInfo(window, &system) == SDL_TRUE && system.subsystem == SDL_SYSWM_X11)
        xConnection = ConnectionNumber(system.info.x11.display);
#endif
    SDL_SetWindowMinimumSize(window, pictureWidth, pictureHeight);
    // With the window manager's frame known, a scale whose frame would not
    // fit the usable area is taken down. The window manager tells the frame
    // once it has taken the window in (a few milliseconds); a display with
    // none never does, and waits the quarter of a second out.
    int top = 0, left = 0, bottom = 0, right = 0;
    bool framed = false;
    for (int wait = 0; wait < 25 && !framed; ++wait) {
        SDL_PumpEvents();
        framed = SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0 && top + left + bottom + right > 0;
        if (!framed) SDL_Delay(10);
    }
    if (framed) {
        const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
        const int fitting = windowScale(display, left + right, top + bottom);
        if (fitting < scale) {
            SDL_SetWindowSize(window, pictureWidth * fitting, pictureHeight * fitting);
            SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        }
    }
    // Keys only: no text input (and no input method) is wanted.
    SDL_StopTextInput();

    const bool vsync = wantsVsync();
    const char* choice = SDL_GetHint(SDL_HINT_RENDER_DRIVER) != nullptr ? SDL_GetHint(SDL_HINT_RENDER_DRIVER)
                                                                         : presenterChoice;
    const bool framebufferChosen = choice != nullptr && std::string(choice) == "framebuffer";
    if (choice != nullptr && !framebufferChosen) return openRenderer(choice, vsync);
    // A GPU that shows the frames in step with the display is worth its
    // renderer; where there is none, the window's own pixels cost least.
    if (!framebufferChosen && vsync) {
        const std::string problem = openRenderer(nullptr, true, true);
        if (!problem.empty() || renderer != nullptr) return problem;
    }
    if (openFramebuffer()) return "";
    // No pixels of its own (Wayland): whatever renderer SDL has.
    return openRenderer(nullptr, vsync);
}

void destroyWindow() {
    closeRenderer();
    framebuffer = Framebuffer{};
    usingFramebuffer = false;
    if (window != nullptr) SDL_DestroyWindow(window);
    window = nullptr;
    xConnection = -1;
    if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoStarted = false;
}

}  // namespace

void setWindowOptions(const std::string& path, int rate) {
    fontPath = path;
    framesPerSecond = rate;
}

void chooseWindowRenderer(const char* driver) { presenterChoice = driver; }

std::string openWindowScreen() {
    if (open) return "";
    if (fontPath.empty()) return "no console font to draw with (install console-setup-linux)";
    try {
        font.emplace(PsfFont::load(fontPath));
        pictureWidth = font->width() * columns;
        pictureHeight = font->height() * rows;
    } catch (const std::exception& e) {
        return std::string("cannot read the console font: ") + e.what();
    }
#ifndef _WIN32
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        return "no display to open a window on: neither DISPLAY nor WAYLAND_DISPLAY is set";
#endif
    // SDL's own handlers would turn Ctrl-C in the terminal into a quit
    // event; it stays the interrupt it is everywhere else.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window's own pixels go to the window system as they are, not
    // through a texture of SDL's.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
#ifdef _WIN32
    // Windows would otherwise stretch, and smooth, the window of a program
    // that does not handle the display's scaling (125 %, 150 %...): the
    // picture is drawn in the display's own pixels instead.
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_AWARENESS, "permonitorv2");
#endif
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return sdlError("cannot open a window");
    videoStarted = true;
#ifndef _WIN32
    // Where no display answers, SDL takes a video driver that shows nothing
    // ("offscreen") and the demo would play unseen: only the user's own
    // SDL_VIDEODRIVER chooses one of those.
    const std::string driver = SDL_GetCurrentVideoDriver() != nullptr ? SDL_GetCurrentVideoDriver() : "";
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if ((driver == "offscreen" || driver == "dummy") && (asked == nullptr || std::strstr(asked, driver.c_str()) == nullptr)) {
        destroyWindow();
        std::string where;
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
            if (const char* value = std::getenv(name)) where += (where.empty() ? "" : " or ") + std::string(name) + "=" + value;
        }
        return "no display to open a window on: nothing answers at " + where;
    }
#endif
    const std::string problem = createWindow();
    if (!problem.empty()) {
        destroyWindow();
        return problem;
    }
    open = true;
    stats.opened = true;
    escapePressed.store(false);
    pictureStale = true;
    presentTimes.clear();
    // Black until the first frame.
    static const CHAR_INFO blank[columns * rows] = {};
    std::memcpy(shownCells, blank, sizeof shownCells);
    presentOnWindow(blank);
    presentTimes.clear();
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
    const bool changed = std::memcmp(shownCells, cells, sizeof shownCells) != 0;
    const bool shown = usingFramebuffer ? presentOnFramebuffer(cells, changed) : presentOnRenderer(cells, changed);
    if (shown) {
        std::memcpy(shownCells, cells, sizeof shownCells);
        pictureStale = false;
    }
    presentTimes.add(monotonicNanoseconds() - start);
    ++stats.presents;
    return shown;
}

bool windowEscapePressed() { return escapePressed.load(std::memory_order_relaxed); }

bool waitForWindowEscapeUntil(std::int64_t deadlineNs) {
    for (;;) {
        if (escapePressed.load()) return true;
        const std::int64_t left = deadlineNs - monotonicNanoseconds();
        if (left <= 0) return false;
        // SDL waits in whole milliseconds; the last part of one is slept.
        constexpr std::int64_t millisecond = 1000000;
        if (!open || left < millisecond) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(left));
            continue;
        }
#ifdef SDL_VIDEO_DRIVER_X11
        if (xConnection >= 0) {
            // SDL 2.26's SDL_WaitEventTimeout, for every event it queues
            // while it waits (the Esc that ends the demo among them), sends
            // the window a wake-up message over a second connection to the X
            // server, which keeps no order between two connections: the
            // message can reach it after the window has been destroyed over
            // the first, and the BadWindow error it answers ends the program
            // with status 1 (Xlib's default handler) when SDL closes that
            // connection. This is the wait of SDL's X11 driver without the
            // message: what has come is handled, then the socket is watched.
            handleWaitingEvents();
            pollfd connection{xConnection, POLLIN, 0};
            if (!escapePressed.load()) ::poll(&connection, 1, int(left / millisecond));
            continue;
        }
#endif
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
