#pragma once
// What shows the 80 x 50 grid: the terminal, the program's own window, the
// Windows console or the web page's canvas. The demo's console, keyboard and
// message-box calls (console.h, keyboard.h, message_box.h) pass their work on
// to the one presenter chosen at start (choosePresenter); none of them asks
// which one it is.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/console.h"

// Figures since the presenter opened, for --stats and the benchmarks.
struct PresentStats {
    std::uint64_t presents = 0;  // calls to show a frame, failed ones included
    std::uint64_t updates = 0;   // frames that handed anything over
    std::uint64_t bytes = 0;     // bytes handed over (a window: its pixels)
    // From the cells to the frame handed over (0 where not measured).
    double medianPresentMs = 0;
    double percentile99PresentMs = 0;
    std::string shownOn = "terminal";  // where the bytes went, for the stats line
    std::string detail;                // more for the stats line, or empty
};

class Presenter {
public:
    virtual ~Presenter() = default;

    // Takes over what it shows on (the first console call); later calls do
    // nothing. False when there is nothing to show on.
    virtual bool open() = 0;
    virtual bool setTitle(const char* title) = 0;
    // The console's size calls: the visible window, then the buffer, in cells.
    virtual bool setWindow(int columns, int rows) = 0;
    virtual bool setBufferSize(int columns, int rows) = 0;
    // Shows the 80 x 50 cells. False when they could not be shown.
    virtual bool present(const CHAR_INFO* cells) = 0;
    // Has the next frame handed over whole (a new scene).
    virtual void repaintWhole() {}

    // True once Esc has been pressed (or the window closed), and from then on.
    // Asked at every march step: it must be cheap.
    virtual bool escapePressed() = 0;
    // Waits until `deadlineNs` on the clock of monotonicNanoseconds or until
    // Esc, whichever is first; true on Esc.
    virtual bool waitForEscapeUntil(std::int64_t deadlineNs) = 0;

    // Shows caption and text with an OK button and waits for it where it can.
    virtual void messageBox(const char* caption, const char* text) = 0;

    // Hands back what it took over; later calls do nothing.
    virtual void close() = 0;
    virtual PresentStats stats() const = 0;
};

// What the program was asked for, and what a window needs to open.
struct PresenterRequest {
    bool window = false;                              // --window
    ConsolePalette palette = ConsolePalette::vga;     // a terminal's colours
    std::string fontPath;                             // the window's PSF console font
    int framesPerSecond = 60;                         // 0: back to back
};

// Chooses what shows the grid, from the request and what the system offers,
// and makes it the presenter. Returns why the asked-for presenter cannot
// show it (the window cannot open), or an empty string. A presenter chosen
// before is closed first.
std::string choosePresenter(const PresenterRequest& request);

// The chosen presenter; the system's default (as for an empty request) when
// none was chosen.
Presenter& presenter();

// Makes `chosen` the presenter, in place of any other (closed first): for
// programs that show the grid some other way (tests).
void usePresenter(std::unique_ptr<Presenter> chosen);

// Closes the presenter: the end of the program.
void closePresenter();
