// compofiller-window-check: shows chosen frames of the demo in the program's
// own window, through its own console calls, for a test that compares the
// window's pixels with the Linux frame tool's picture.
//
// usage: compofiller-window-check FOLDER STATE...
//   STATE as for compofiller-console-check.
// Presents frame N 60 times a second; writes FOLDER/shown-N once it is on
// the way and moves to frame N+1 when FOLDER/go-N exists. Exits 2 when the
// window cannot open.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/screen.h"
#include "host/song_search.h"
#include "platform/keyboard.h"
#include "platform/program_folder.h"
#include "platform/present/presenter.h"
#include "platform/timer.h"
#include "tests/programs/frame_state.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: compofiller-window-check FOLDER STATE...\n", stderr);
        return 2;
    }
    PresenterRequest request;
    request.window = true;
    request.fontPath = findConsoleFont(executableFolder());
    const std::string why = choosePresenter(request);
    if (!why.empty()) {
        std::fprintf(stderr, "compofiller-window-check: %s\n", why.c_str());
        return 2;
    }
    openConsoleScreen();
    const std::string folder = argv[1];
    for (int n = 2; n < argc; ++n) {
        if (!drawFrameState(argv[n])) {
            closePresenter();
            std::fprintf(stderr, "bad frame \"%s\"\n", argv[n]);
            return 2;
        }
        const std::string index = std::to_string(n - 2);
        bool shown = false;
        while (!std::filesystem::exists(folder + "/go-" + index)) {
            presentScreen();
            if (!shown) {
                std::ofstream(folder + "/shown-" + index + ".part") << "";
                std::filesystem::rename(folder + "/shown-" + index + ".part", folder + "/shown-" + index);
                shown = true;
            }
            // The window's events are taken while it waits.
            waitForEscapeUntil(monotonicNanoseconds() + 16000000);
        }
    }
    closePresenter();
    return 0;
}
