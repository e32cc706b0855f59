// compofiller-present-frames: shows chosen frames of the demo on its terminal
// through the program's own console calls, for tests that look at a real
// terminal emulator. Each frame is drawn by the demo's cell loop and caption
// step from a fixed state, so a test can compute the same cells.
//
// usage: compofiller-present-frames [--palette terminal | --window] FOLDER FRAME...
//   FRAME is MODE:STATE. STATE is "black" (every cell blank) or
//   order,timeMs,seconds,pulseA,pulseB,pulseC,beatCount,captions(0|1).
//   MODE "hold" presents the frame 60 times a second, as the demo does;
//   "still" presents it once and then nothing; "flicker" alternates it at
//   full speed with a copy in which a third of the cells differ.
// With --window the frames go to the program's own window, not the terminal.
// Writes FOLDER/size ("xpixel ypixel rows columns" of the terminal) at start,
// and FOLDER/cells-N (the 4000 cells as they are in memory) and then
// FOLDER/shown-N once frame N is on the way; moves to frame N+1 when
// FOLDER/go-N exists, and exits after the last one.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "host/screen.h"
#include "host/song_search.h"
#include "platform/present/presenter.h"
#include "tests/programs/frame_state.h"

namespace {

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Written whole under another name, then renamed: the tests wait for the
// file to exist and read it at once.
void touch(const std::string& path, const std::string& text = "") {
    std::ofstream(path + ".part") << text;
    std::rename((path + ".part").c_str(), path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    PresenterRequest request;
    if (argc > 2 && std::string(argv[1]) == "--palette") {
        request.palette = std::string(argv[2]) == "terminal" ? ConsolePalette::terminal : ConsolePalette::vga;
        argc -= 2;
        argv += 2;
    } else if (argc > 1 && std::string(argv[1]) == "--window") {
        request.window = true;
        request.fontPath = findConsoleFont(executableFolder());
        --argc;
        ++argv;
    }
    if (const std::string why = choosePresenter(request); !why.empty()) {
        std::fprintf(stderr, "compofiller-present-frames: --window: %s\n", why.c_str());
        return 2;
    }
    if (argc < 3) {
        std::fputs("usage: compofiller-present-frames FOLDER MODE:STATE...\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    openConsoleScreen();
    winsize size{};
    ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size);
    touch(folder + "/size", std::to_string(size.ws_xpixel) + " " + std::to_string(size.ws_ypixel) + " " +
                                std::to_string(size.ws_row) + " " + std::to_string(size.ws_col) + "\n");
    using namespace std::chrono_literals;
    for (int n = 0; n + 2 < argc; ++n) {
        const std::string frame = argv[n + 2];
        const auto colon = frame.find(':');
        const std::string mode = frame.substr(0, colon);
        if (colon == std::string::npos || !drawFrameState(frame.substr(colon + 1))) {
            closePresenter();
            std::fprintf(stderr, "bad frame \"%s\"\n", frame.c_str());
            return 2;
        }
        // Each frame stands for a new scene.
        presenter().repaintWhole();
        CHAR_INFO picture[80 * 50];
        std::copy(std::begin(screenCells), std::end(screenCells), picture);
        const std::string go = folder + "/go-" + std::to_string(n);
        bool shown = false;
        for (unsigned step = 0; !exists(go); ++step) {
            if (mode == "flicker") {
                for (int i = 0; i < 80 * 50; ++i) {
                    screenCells[i] = picture[i];
                    if ((step & 1) != 0 && i % 3 == 0) {
                        screenCells[i].Char.AsciiChar = static_cast<char>(219);
                        screenCells[i].Attributes = static_cast<WORD>(1 + (i + step) % 15);
                    }
                }
            }
            if (mode != "still" || !shown) presentScreen();
            if (!shown) {
                // The cells of the frame, for the test to compare the screen with.
                std::ofstream(folder + "/cells-" + std::to_string(n), std::ios::binary)
                    .write(reinterpret_cast<const char*>(picture), sizeof picture);
                touch(folder + "/shown-" + std::to_string(n));
            }
            shown = true;
            if (mode != "flicker") std::this_thread::sleep_for(16ms);
        }
        // A flickering frame ends on the picture itself.
        if (mode == "flicker") {
            std::copy(picture, picture + 80 * 50, screenCells);
            presentScreen();
        }
    }
    closePresenter();
    return 0;
}
