// The 80 x 50 grid in a window of the program's own, as the PC's text mode
// showed it: each cell's code page 437 glyph in an 8 x 8 console font, in the
// 16 text-mode colours on black, square cells, the picture 640 x 400 pixels
// times a whole scale factor, centred on black when the window is larger.
// The same code on every system (SDL2's video).
//
// How it presents: through an accelerated SDL renderer where that presents
// in step with the display's refresh (a real GPU), else "framebuffer": the
// rasterizer draws the picture at its scale into the window's own pixels,
// which the window system shows as they are (X11's shared memory, Windows'
// GDI), the cheapest where no GPU draws. SDL_RENDER_DRIVER in the
// environment names SDL's render driver to use instead ("software",
// "opengl", "direct3d", ...), which widens the 640 x 400 picture to the
// scale itself, or "framebuffer".
#include "platform/present/presenters.h"
#include "platform/present/window/window_parts.h"

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
#include "platform/present/console/win32.h"
#endif
#ifdef SDL_VIDEO_DRIVER_X11
#include <SDL2/SDL_syswm.h>
#include <poll.h>
#endif

namespace {

using namespace window_parts;

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

bool isOpen = false;
bool videoStarted = false;
// The X server connection's socket while the window is on X11, else -1.
int xConnection = -1;

// Set by the window's events, read by the marcher's key queries.
std::atomic<bool> escapeDown{false};

// The cells last handed to the window: a frame that shows the same cells
// again hands nothing over unless the window needs its picture again
// (`pictureStale`: uncovered, shown again, resized).
CHAR_INFO shownCells[columns * rows];

PresentTimes presentTimes;

// ---- The window and its events.

void pressEscape() { escapeDown.store(true); }

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
        if (!problem.empty() || rendererOpen()) return problem;
    }
    if (openFramebuffer()) return "";
    // No pixels of its own (Wayland): whatever renderer SDL has.
    return openRenderer(nullptr, vsync);
}

void destroyWindow() {
    closePictures();
    if (window != nullptr) SDL_DestroyWindow(window);
    window = nullptr;
    xConnection = -1;
    if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoStarted = false;
}

// What the window opens with: the font, and the frame rate, which says
// whether presenting may wait for the display's refresh.
std::string openWindow(const PresenterRequest& request) {
    fontPath = request.fontPath;
    framesPerSecond = request.framesPerSecond;
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
    if (const std::string none = noDisplayAnswers(); !none.empty()) {
        destroyWindow();
        return none;
    }
    const std::string problem = createWindow();
    if (!problem.empty()) {
        destroyWindow();
        return problem;
    }
    isOpen = true;
    escapeDown.store(false);
    pictureStale = true;
    presentTimes.clear();
    return "";
}

bool presentOnWindow(const CHAR_INFO* cells) {
    if (!isOpen) return false;
    handleWaitingEvents();
    const std::int64_t start = monotonicNanoseconds();
    const bool changed = std::memcmp(shownCells, cells, sizeof shownCells) != 0;
    const bool shown = usingFramebuffer ? presentOnFramebuffer(cells, changed) : presentOnRenderer(cells, changed);
    if (shown) {
        std::memcpy(shownCells, cells, sizeof shownCells);
        pictureStale = false;
    }
    presentTimes.add(monotonicNanoseconds() - start);
    ++counts.presents;
    return shown;
}

// The 80 x 50 grid in the window. Every call but escapePressed belongs to the
// thread that opened the window (the frame loop's): SDL takes the window's
// events there.
class WindowPresenter final : public Presenter {
public:
    // The window is open already (openWindow); black until the first frame.
    WindowPresenter() {
        static const CHAR_INFO blank[columns * rows] = {};
        std::memcpy(shownCells, blank, sizeof shownCells);
        presentOnWindow(blank);
        presentTimes.clear();
    }

    bool open() override { return isOpen; }

    bool setTitle(const char* title) override {
        if (!isOpen) return false;
        // The title's bytes are code page 437, as the console takes them.
        std::string utf8;
        for (const char* p = title; *p != '\0'; ++p) {
            const auto byte = static_cast<unsigned char>(*p);
            appendUtf8(utf8, byte < 0x20 || byte == 0x7F ? U' ' : cp437ToUnicode[byte]);
        }
        SDL_SetWindowTitle(window, utf8.c_str());
        return true;
    }

    // The window always holds the whole grid.
    bool setWindow(int, int) override { return true; }
    bool setBufferSize(int, int) override { return true; }

    bool present(const CHAR_INFO* cells) override { return presentOnWindow(cells); }

    bool escapePressed() override { return escapeDown.load(std::memory_order_relaxed); }

    bool waitForEscapeUntil(std::int64_t deadlineNs) override {
        for (;;) {
            if (escapeDown.load()) return true;
            const std::int64_t left = deadlineNs - monotonicNanoseconds();
            if (left <= 0) return false;
            // SDL waits in whole milliseconds; the last part of one is slept.
            constexpr std::int64_t millisecond = 1000000;
            if (!isOpen || left < millisecond) {
                std::this_thread::sleep_for(std::chrono::nanoseconds(left));
                continue;
            }
#ifdef SDL_VIDEO_DRIVER_X11
            if (xConnection >= 0) {
                // SDL 2.26's SDL_WaitEventTimeout, for every event it queues
                // while it waits (the Esc that ends the demo among them),
                // sends the window a wake-up message over a second connection
                // to the X server, which keeps no order between two
                // connections: the message can reach it after the window has
                // been destroyed over the first, and the BadWindow error it
                // answers ends the program with status 1 (Xlib's default
                // handler) when SDL closes that connection. This is the wait
                // of SDL's X11 driver without the message: what has come is
                // handled, then the socket is watched.
                handleWaitingEvents();
                pollfd connection{xConnection, POLLIN, 0};
                if (!escapeDown.load()) ::poll(&connection, 1, int(left / millisecond));
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

    // A desktop's message box over the window, and the line on stderr for
    // whoever started the program from a terminal.
    void messageBox(const char* caption, const char* text) override {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        std::fflush(stderr);
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, isOpen ? window : nullptr);
    }

    void close() override {
        if (!isOpen) return;
        isOpen = false;
        destroyWindow();
    }

    // The pixels handed to the window count as the bytes sent.
    PresentStats stats() const override {
        PresentStats s;
        s.presents = counts.presents;
        s.updates = counts.uploads;
        s.bytes = counts.bytes;
        s.medianPresentMs = presentTimes.percentileMs(50);
        s.percentile99PresentMs = presentTimes.percentileMs(99);
        s.shownOn = "window";
        s.detail = "window at scale " + std::to_string(counts.scale) + ", renderer " + counts.renderer +
                   ", vsync " + (counts.vsync ? "on" : "off");
        return s;
    }
};

}  // namespace

std::unique_ptr<Presenter> openWindowPresenter(const PresenterRequest& request, std::string& problem) {
    if (isOpen) {
        problem = "the window is open already";
        return nullptr;
    }
    problem = openWindow(request);
    if (!problem.empty()) return nullptr;
    return std::make_unique<WindowPresenter>();
}
