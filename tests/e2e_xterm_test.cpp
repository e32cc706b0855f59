// What a person sees in a real terminal emulator: xterm under a private X
// server, 80 x 50, with a known palette and a light theme (black text on
// white). Frames go out through the program's own console calls
// (compofiller-present-frames); screenshots are compared cell by cell with
// the frame: every pixel of a cell is its ink colour or black, the ink shows
// in every cell that has a glyph, and nothing is left of the light theme.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/console.h"
#include "platform/linux/terminal_screen.h"
#include "tests/support/ci_skip.h"
#include "tests/support/x_screen.h"
#include "tests/support/xm_test_modules.h"

namespace {

using namespace std::chrono_literals;
using namespace xtest;

const std::string buildDir = COMPOFILLER_BUILD_DIR;

// The palette the xterm gets (the VGA colours), by terminal colour number: the
// program's own colours look the same, so both tell the right cells.
constexpr std::uint32_t palette[16] = {0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA,
                                       0x00AAAA, 0xAAAAAA, 0x555555, 0xFF5555, 0x55FF55, 0xFFFF55,
                                       0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF};
constexpr std::uint32_t themeBackground = 0xFFFFFF;
constexpr std::uint32_t cursorColour = 0xFF0000;

std::uint32_t vgaInk(int colour) { return vgaColour(colour); }
std::uint32_t cubeInk(int colour) { return colour256(nearestColour256(vgaColour(colour))); }

}  // namespace

class XtermScreen : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xterm", "import"}) {
            if (!onPath(tool)) SKIP_OR_FAIL_ON_CI() << tool << " is not installed";
        }
        folder = testmodules::makeTempFolder("cf-xterm");
        ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    }
    void TearDown() override {
        stop(xterm);
        if (!tmuxSocket.empty()) std::system(("tmux -L " + tmuxSocket + " kill-server 2>/dev/null").c_str());
        if (!folder.empty()) std::system(("rm -rf " + shellQuote(folder)).c_str());
    }

    // Starts xterm at the top-left of the X screen running `command`, in the
    // light theme and with the test palette; `font` is an X core font, or a
    // TrueType face when it starts with "fa:".
    void startXterm(const std::string& command, const std::string& font, const std::string& colorTerm = "truecolor") {
        std::vector<std::string> args = {"xterm", "-tn", "xterm-256color", "-u8", "-b", "0", "-bw", "0",
                                         "-geometry", "80x50+0+0", "-xrm", "XTerm*background: #ffffff",
                                         "-xrm", "XTerm*foreground: #000000", "-xrm", "XTerm*cursorColor: #ff0000"};
        if (font.rfind("fa:", 0) == 0) {
            args.insert(args.end(), {"-fa", font.substr(3), "-fs", "9"});
        } else {
            args.insert(args.end(), {"-fn", font});
        }
        for (int i = 0; i < 16; ++i) {
            char value[64];
            std::snprintf(value, sizeof value, "XTerm*color%d: #%06x", i, palette[i]);
            args.insert(args.end(), {"-xrm", value});
        }
        // xterm takes COLORTERM out of the environment it gives its program.
        args.insert(args.end(), {"-e", "sh", "-c", "export COLORTERM=" + colorTerm + "; " + command});
        xterm = spawn(args, {"DISPLAY=" + x.display(), "LC_ALL=C.UTF-8", "SDL_AUDIODRIVER=dummy",
                             "LSAN_OPTIONS=suppressions=" COMPOFILLER_SOURCE_DIR "/tests/lsan.supp"});
        ASSERT_GT(xterm, 0);
    }

    // Runs the frame presenter with `frames` in an xterm (inside tmux with
    // `inTmux`) and waits for its size report.
    void present(const std::vector<std::string>& frames, const std::string& font, bool inTmux = false) {
        std::string command = shellQuote(buildDir + "/compofiller-present-frames") + " " + shellQuote(folder);
        for (const std::string& f : frames) command += " " + shellQuote(f);
        if (inTmux) {
            tmuxSocket = "cf-xterm-" + std::to_string(::getpid());
            std::ofstream(folder + "/tmux.conf") << "set -g status off\nset -g escape-time 0\n"
                                                    "set -g default-terminal tmux-256color\n";
            command = "tmux -L " + tmuxSocket + " -f " + shellQuote(folder + "/tmux.conf") + " new-session " +
                      shellQuote(command);
        }
        // tmux-256color has 256 colours and takes no RGB: the nearest of the 256.
        startXterm(command, font, inTmux ? "" : "truecolor");
        ink = inTmux ? cubeInk : vgaInk;
        ASSERT_TRUE(waitFor([&] { return exists(folder + "/size"); }, 15s)) << "the presenter did not start";
        int xpixel = 0, ypixel = 0, rows = 0, columns = 0;
        std::ifstream(folder + "/size") >> xpixel >> ypixel >> rows >> columns;
        ASSERT_EQ(rows, 50);
        ASSERT_EQ(columns, 80);
        // tmux may not pass the pixel size on; the bitmap font's cells are 9 x 15.
        cellWidth = xpixel > 0 ? xpixel / 80 : 9;
        cellHeight = ypixel > 0 ? ypixel / 50 : 15;
    }

    // Waits until frame `n` is on its way, then until the screen shows it.
    void expectFrameShown(int n, std::chrono::milliseconds limit = 5s) {
        ASSERT_TRUE(waitFor([&] { return exists(folder + "/shown-" + std::to_string(n)); }, 10s));
        const std::vector<CHAR_INFO> cells = readCells(folder + "/cells-" + std::to_string(n));
        std::string problems;
        waitFor([&] { return (problems = differences(screenshot(x.display(), folder), cells, box(), ink)).empty(); },
                limit);
        EXPECT_EQ(problems, "") << "frame " << n;
    }
    void next(int n) { std::ofstream(folder + "/go-" + std::to_string(n)); }
    CellBox box() const { return {0, 0, cellWidth, cellHeight}; }

    XServer x;
    pid_t xterm = -1;
    std::string folder, tmuxSocket;
    int cellWidth = 0, cellHeight = 0;
    std::uint32_t (*ink)(int) = vgaInk;
};

namespace {
// order,timeMs,seconds,pulseA,pulseB,pulseC,beatCount,captions
const std::string stripes = "9,-60000,60,0,0,0,0,1";            // flat scene
const std::string tori = "20,-90000,90,0,0,0,20,1";            // distance field
const std::string zemboCaption = "4,-40000,40,0,0,4,0,1";       // caption over warped rings
const std::string endCaption = "38,-168000,168,0,0,0,0,1";      // the doubled "END"
const std::string latticeFadingIn = "1,-6000,6,0,0,4,10,1";     // beam lattice
const char* bitmapFont = "-misc-fixed-medium-r-normal--15-140-75-75-c-90-iso10646-1";
}  // namespace

TEST_F(XtermScreen, EveryCellShowsItsGlyphInItsColourOnBlack) {
    present({"hold:" + stripes, "hold:" + tori, "hold:" + zemboCaption, "hold:black"}, bitmapFont);
    for (int n = 0; n < 4; ++n) {
        SCOPED_TRACE("frame " + std::to_string(n));
        expectFrameShown(n);
        next(n);
    }
}

TEST_F(XtermScreen, NoEdgeOfAVanishedBlockStaysWithATrueTypeFont) {
    // TrueType block glyphs spill their antialiased edge into the next cell;
    // once the caption is gone every pixel must be black again.
    present({"hold:" + endCaption, "hold:black"}, "fa:DejaVu Sans Mono");
    ASSERT_TRUE(waitFor([&] { return exists(folder + "/shown-0"); }, 10s));
    std::this_thread::sleep_for(500ms);
    next(0);
    ASSERT_TRUE(waitFor([&] { return exists(folder + "/shown-1"); }, 10s));
    int lit = -1;
    waitFor([&] {
        const Picture shot = screenshot(x.display(), folder);
        if (shot.width < 80 * cellWidth) return false;
        lit = 0;
        for (int y = 0; y < 50 * cellHeight; ++y) {
            for (int px = 0; px < 80 * cellWidth; ++px) lit += shot.at(px, y) != palette[0];
        }
        return lit == 0;
    }, 4s);
    EXPECT_EQ(lit, 0) << "pixels not black after the caption went";
}

TEST_F(XtermScreen, TmuxInALightTerminalKeepsTheBlackAfterFallingBehind) {
    if (!onPath("tmux")) SKIP_OR_FAIL_ON_CI() << "tmux is not installed";
    // Frames at full speed, a third of the cells changing, while the terminal
    // stops for a moment: tmux drops what it could not send and redraws the
    // screen from its own copy while the frames go on. The cells the frames
    // never change show what that redraw put there.
    present({"flicker:" + latticeFadingIn, "still:" + latticeFadingIn}, bitmapFont, true);
    ASSERT_TRUE(waitFor([&] { return exists(folder + "/shown-0"); }, 10s));
    const std::vector<CHAR_INFO> cells = readCells(folder + "/cells-0");
    std::this_thread::sleep_for(1s);
    ::kill(xterm, SIGSTOP);
    std::this_thread::sleep_for(1200ms);
    ::kill(xterm, SIGCONT);
    // Well before the next frame sent whole, which would mend the screen anyway.
    std::string problems;
    waitFor([&] {
        problems = differences(screenshot(x.display(), folder), cells, box(), ink, Rule::exact,
                               [](int i) { return i % 3 != 0; });
        return problems.empty();
    }, 1500ms);
    EXPECT_EQ(problems, "");
    next(0);
    expectFrameShown(1);
}

TEST_F(XtermScreen, TheTerminalComesBackAsItWasAfterTheProgram) {
    // A song that passes order 40 in under two seconds.
    xm::Module module = testmodules::emptyModule(1, 1, 2, 1, 2, 125);
    module.patterns[1] = xm::Pattern(64, 1);
    module.orders.assign(41, 0);
    module.orders.push_back(1);
    testmodules::put(module, 0, 0, 0, 49, 1);
    testmodules::writeModule(module, folder, "QUILLOW3.oxm");
    startXterm("cd " + shellQuote(folder) + " && printf 'before\\n' && " + shellQuote(buildDir + "/compofiller") +
                   " 2>err; printf 'after %s\\n' $? > status; touch ended; sleep 60",
               bitmapFont);
    ASSERT_TRUE(waitFor([&] { return exists(folder + "/ended"); }, 30s)) << "the program did not end";
    std::ifstream status(folder + "/status");
    std::string word, code;
    status >> word >> code;
    std::ostringstream messages;
    messages << std::ifstream(folder + "/err").rdbuf();
    EXPECT_EQ(code, "0") << messages.str();
    // The normal screen is back: the light theme everywhere, the line printed
    // before the program still on it, and the cursor shown below it.
    cellWidth = 9;
    cellHeight = 15;
    int black = 0, inkOnFirstRow = 0;
    bool cursor = false;
    waitFor([&] {
        const Picture shot = screenshot(x.display(), folder);
        if (shot.width < 80 * cellWidth) return false;
        black = inkOnFirstRow = 0;
        for (int row = 0; row < 50; ++row) {
            for (int col = 0; col < 80; ++col) {
                // The corner pixel of a cell is its background.
                if (row != 1 || col != 0) black += shot.at(col * cellWidth, row * cellHeight) != themeBackground;
            }
        }
        cursor = shot.at(cellWidth / 2, cellHeight + cellHeight / 2) == cursorColour;
        for (int y = 0; y < cellHeight; ++y) {
            for (int px = 0; px < 6 * cellWidth; ++px) inkOnFirstRow += shot.at(px, y) != themeBackground;
        }
        return black == 0 && inkOnFirstRow > 0 && cursor;
    }, 5s);
    EXPECT_EQ(black, 0) << "cells still with the program's background";
    EXPECT_TRUE(cursor) << "the cursor is not shown";
    EXPECT_GT(inkOnFirstRow, 0) << "the screen from before the program is gone";
}
