#pragma once
// The 80 x 50 grid in a window of the program's own, as the PC's text mode
// showed it: each cell's code page 437 glyph in an 8 x 8 console font, in the
// 16 text-mode colours on black, square cells, the picture 640 x 400 pixels
// times a whole scale factor, centred on black when the window is larger.
// The same code on every system (SDL2's video); the system's console calls
// hand their work to it while it is open:
//
//   GetStdHandle, SetConsoleTitleA ... -> openWindowScreen, setWindowTitle
//   WriteConsoleOutputA                -> presentOnWindow
//   GetAsyncKeyState(VK_ESCAPE)        -> windowEscapePressed
//   waitForEscapeUntil                 -> waitForWindowEscapeUntil
//   MessageBoxA                        -> showWindowMessageBox
//   restoreTerminal                    -> closeWindowScreen
//   terminalStats                      -> windowStats
//
// Every call but windowEscapePressed belongs to the thread that opened the
// window (the frame loop's): SDL takes the window's events there.
#include <cstdint>
#include <string>

#include "platform/console.h"

// What the window needs before it opens: the PSF console font to draw with
// and the frame rate the frames are paced to (0: back to back), which says
// whether presenting may wait for the display's refresh. Set at start
// whether or not the window is asked for, so that a system's console layer
// can open the window itself where its console cannot show the grid.
void setWindowOptions(const std::string& fontPath, int framesPerSecond);

// How the window presents, before it opens. nullptr (the default): through
// an accelerated SDL renderer where it presents in step with the display's
// refresh (a real GPU), else "framebuffer". "framebuffer": the rasterizer
// draws the picture at its scale into the window's own pixels, which the
// window system shows as they are (X11's shared memory, Windows' GDI), the
// cheapest where no GPU draws. Any other name is SDL's render driver to use
// ("software", "opengl", "opengles2", "direct3d", ...), which widens the
// 640 x 400 picture to the scale itself. SDL_RENDER_DRIVER in the
// environment stands for the last kind.
void chooseWindowRenderer(const char* driver);

// Opens the window on the calling thread, black, at the largest whole scale
// that fits the display's usable area (at least 1). From then on the console
// calls above go to it. Returns why it cannot open, in a few words ("no
// display: neither DISPLAY nor WAYLAND_DISPLAY is set"), or an empty string.
std::string openWindowScreen();

// True from a successful openWindowScreen until closeWindowScreen.
bool windowScreenOpen();

void setWindowTitle(const char* title);

// Draws the 80 x 50 cells and presents them, after handling the window's
// waiting events. False when the window is not open.
bool presentOnWindow(const CHAR_INFO* cells);

// True once Esc has been pressed in the window or its close button used,
// and from then on. One atomic load: the marcher asks at every march step.
bool windowEscapePressed();

// Handles the window's events until `deadlineNs` on the clock of
// monotonicNanoseconds (platform/timer.h) or until Esc or the close button,
// whichever comes first. True on Esc or close.
bool waitForWindowEscapeUntil(std::int64_t deadlineNs);

// Shows a message box over the window (a window of its own, with an OK
// button) and waits until it is dismissed.
void showWindowMessageBox(const char* caption, const char* text);

// Closes the window; later calls do nothing.
void closeWindowScreen();

// Figures since the window opened, for --stats and the benchmarks.
struct WindowStats {
    bool opened = false;            // the window was open in this run
    std::uint64_t presents = 0;     // frames presented
    std::uint64_t uploads = 0;      // of them, frames whose pixels were handed over
    std::uint64_t bytes = 0;        // bytes of those pixels: the picture's 4 a pixel (at its scale with
                                    // "framebuffer", at scale 1 through a renderer)
    double medianPresentMs = 0;     // from the cells to the presented frame
    double percentile99PresentMs = 0;
    int scale = 0;                  // the picture's whole scale at the last present
    bool vsync = false;             // presents wait for the display's refresh
    char renderer[32] = {};         // "framebuffer", or SDL's render driver
};
WindowStats windowStats();
