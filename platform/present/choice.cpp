// Which presenter shows the grid: the one place that decides it.
#include <cstdio>

#include "platform/present/presenters.h"

#ifdef _WIN32
#include "platform/present/console/win32.h"
#endif

namespace {

#ifdef _WIN32
// The console, sized to the grid as the program's start sizes it. One still
// smaller than the grid after that (Windows Terminal, which takes no size
// from a program; Wine's console in a Unix terminal of another size) gives
// the picture to the window where there is a desktop to open it on, and says
// so in one line; else it shows the picture's centre and says why at the end.
std::unique_ptr<Presenter> consoleOrWindow(const PresenterRequest& request) {
    std::unique_ptr<Presenter> console = makeConsolePresenter(request.palette);
    console->open();
    console->setWindow(80, 50);
    console->setBufferSize(80, 50);
    const win32::ConsoleShape shape = win32::consoleShape();
    if (!shape.console || (shape.columns >= 80 && shape.rows >= 50)) return console;
    if (!win32::desktopAvailable()) {
        win32::noteNoWindow("and there was no desktop to open a window on");
        return console;
    }
    std::string why;
    std::unique_ptr<Presenter> window = openWindowPresenter(request, why);
    if (!window) {
        win32::noteNoWindow(("and no window opened in its place (" + why + ")").c_str());
        return console;
    }
    // The console is left to the user from here on.
    console->close();
    std::fprintf(stderr,
                 "compofiller: the console could not be made 80 x 50 (it is %d x %d), so the demo shows in a "
                 "window of its own\n",
                 shape.columns, shape.rows);
    std::fflush(stderr);
    return window;
}
#endif

}  // namespace

std::string choosePresenter(const PresenterRequest& request) {
#ifdef __EMSCRIPTEN__
    // The page has only its canvas.
    static_cast<void>(request);
    usePresenter(makePagePresenter());
    return "";
#else
    if (request.window) {
        std::string why;
        std::unique_ptr<Presenter> window = openWindowPresenter(request, why);
        if (!window) return why;
        usePresenter(std::move(window));
        return "";
    }
#ifdef _WIN32
    usePresenter(consoleOrWindow(request));
#else
    usePresenter(makeTerminalPresenter(request.palette));
#endif
    return "";
#endif
}
