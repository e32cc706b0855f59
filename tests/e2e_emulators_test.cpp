// The picture in the terminal emulators people use besides xterm: urxvt,
// kitty and Alacritty (the last two drawn with Mesa's software OpenGL), each
// under a private X server in a dark-grey theme. Fixed frames must show on
// true black in the VGA colours, every pixel a shade of its cell's ink over
// black (fonts are antialiased), blocks wholly ink; the terminal's own
// palette must show the theme; and after Esc the terminal must be as before.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/terminal_screen.h"
#include "tests/support/ci_skip.h"
#include "tests/support/x_screen.h"
#include "tests/support/xm_test_modules.h"

namespace {

using namespace std::chrono_literals;
using namespace xtest;

const std::string buildDir = COMPOFILLER_BUILD_DIR;
constexpr std::uint32_t themeGrey = 0x404040;

struct Emulator {
    const char* name;
    std::vector<std::string> command;  // the program to run follows
    bool rgb;                          // takes RGB colours (else the nearest of the 256)
};
void PrintTo(const Emulator& e, std::ostream* out) { *out << e.name; }

const Emulator emulators[] = {
    {"urxvt",
     {"urxvt", "+sb", "-b", "0", "-geometry", "80x50+0+0", "-fn",
      "-misc-fixed-medium-r-semicondensed--13-120-75-75-c-60-iso10646-1", "-e"},
     false},
    {"kitty",
     {"kitty", "--config", "NONE", "-o", "remember_window_size=no", "-o", "initial_window_width=80c", "-o",
      "initial_window_height=50c", "-o", "window_padding_width=0"},
     true},
    {"alacritty",
     {"alacritty", "-o", "window.dimensions.columns=80", "-o", "window.dimensions.lines=50", "-o",
      "window.padding.x=0", "-o", "window.padding.y=0", "-e"},
     true},
};

// order,timeMs,seconds,pulseA,pulseB,pulseC,beatCount,captions
const char* frames[] = {
    "9,-60000,60,0,0,0,0,1",     // stripes, a flat scene
    "20,-90000,90,0,0,0,20,1",   // the row of tori, a distance field
    "4,-40000,40,0,0,4,0,1",     // the "ZEMBO" caption over the warped rings
};

class Emulators : public ::testing::TestWithParam<Emulator> {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "import", "xdotool", GetParam().command[0].c_str()}) {
            if (!onPath(tool)) SKIP_OR_FAIL_ON_CI() << tool << " is not installed";
        }
        folder = testmodules::makeTempFolder("cf-emulator");
        ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    }
    void TearDown() override {
        stop(terminal);
        if (!folder.empty()) std::system(("rm -rf " + shellQuote(folder)).c_str());
    }

    // Runs `script` in the emulator, after giving it the dark-grey theme:
    // background and colour 0 both grey, as some default themes have them.
    void start(const std::string& script) {
        std::vector<std::string> args = GetParam().command;
        args.insert(args.end(), {"sh", "-c", "printf '\\033]11;#404040\\007\\033]4;0;#404040\\007'; " + script});
        terminal = spawn(args, {"DISPLAY=" + x.display(), "LC_ALL=C.UTF-8", "SDL_AUDIODRIVER=dummy",
                                "LIBGL_ALWAYS_SOFTWARE=1", "TMUX=",
                                "LSAN_OPTIONS=suppressions=" COMPOFILLER_SOURCE_DIR "/tests/lsan.supp"});
        ASSERT_GT(terminal, 0);
    }

    // The presenter showing `states` in `palette`, its files in `where`.
    static std::string presenter(const std::string& palette, const std::string& where,
                                 const std::vector<std::string>& states) {
        std::string command = shellQuote(buildDir + "/compofiller-present-frames") + " --palette " + palette + " " +
                              shellQuote(where);
        for (const std::string& state : states) command += " hold:" + state;
        return command;
    }

    // Waits for the presenter's size report: where the cells are on screen.
    static CellBox cellBox(const std::string& where) {
        CellBox box;
        if (!waitFor([&] { return exists(where + "/shown-0"); }, 30s)) return box;
        int xpixel = 0, ypixel = 0, rows = 0, columns = 0;
        std::ifstream(where + "/size") >> xpixel >> ypixel >> rows >> columns;
        EXPECT_EQ(rows, 50);
        EXPECT_EQ(columns, 80);
        box.width = xpixel / 80;
        box.height = ypixel / 50;
        return box;
    }

    static void next(const std::string& where, int n) { std::ofstream(where + "/go-" + std::to_string(n)); }

    XServer x{"800x1100x24"};
    pid_t terminal = -1;
    std::string folder;
};

std::uint32_t rgbInk(int colour) { return vgaColour(colour); }
std::uint32_t cubeInk(int colour) { return colour256(nearestColour256(vgaColour(colour))); }

}  // namespace

// One session per emulator: the fixed frames in the VGA colours, then one in
// the terminal's own palette, then the demo until Esc.
TEST_P(Emulators, FramesShowInEitherPaletteAndEscGivesTheTerminalBack) {
    const std::string own = folder + "/terminal-palette";
    ASSERT_EQ(std::system(("mkdir " + shellQuote(own)).c_str()), 0);
    std::vector<std::string> states(std::begin(frames), std::end(frames));
    states.push_back("black");
    start(presenter("vga", folder, states) + "; " + presenter("terminal", own, {frames[0]}) +
          "; printf 'before\\n'; cd " + shellQuote(buildDir) + " && ./compofiller; touch " +
          shellQuote(folder + "/ended") + "; sleep 60");
    const CellBox box = cellBox(folder);
    ASSERT_GT(box.width, 0) << "the presenter did not start";
    const auto ink = GetParam().rgb ? rgbInk : cubeInk;
    for (int n = 0; n <= 3; ++n) {
        SCOPED_TRACE("frame " + std::to_string(n));
        ASSERT_TRUE(waitFor([&] { return exists(folder + "/shown-" + std::to_string(n)); }, 10s));
        const std::vector<CHAR_INFO> cells = readCells(folder + "/cells-" + std::to_string(n));
        std::string problems;
        waitFor([&] {
            problems = differences(screenshot(x.display(), folder), cells, box, ink, Rule::antialiased);
            return problems.empty();
        }, 5s);
        EXPECT_EQ(problems, "");
        next(folder, n);
    }

    // The terminal's own palette: the blank cells show the theme's colour 0.
    ASSERT_GT(cellBox(own).width, 0) << "the presenter did not start again";
    const std::vector<CHAR_INFO> cells = readCells(own + "/cells-0");
    int blank = 0, notTheme = -1;
    waitFor([&] {
        const Picture shot = screenshot(x.display(), folder);
        if (shot.width < 80 * box.width) return false;
        blank = notTheme = 0;
        for (int i = 0; i < 80 * 50; ++i) {
            const unsigned glyph = cells[static_cast<std::size_t>(i)].Char.UnicodeChar & 0xFF;
            if (glyph != 0 && (cells[static_cast<std::size_t>(i)].Attributes & 15) != 0) continue;
            ++blank;
            notTheme += shot.at(i % 80 * box.width, i / 80 * box.height) != themeGrey;
        }
        return notTheme == 0;
    }, 5s);
    EXPECT_GT(blank, 100);
    EXPECT_EQ(notTheme, 0) << "blank cells not in the theme's colour 0";
    next(own, 0);

    // The demo itself, until Esc: then the theme is back on every cell but
    // the line printed before it.
    ASSERT_TRUE(waitFor([&] {
        const Picture shot = screenshot(x.display(), folder);
        return shot.width > 0 && shot.at(box.width * 40, box.height * 25) == 0 &&
               shot.at(box.width * 79 + 1, box.height * 49 + 1) == 0;
    }, 15s)) << "the demo did not start";
    std::this_thread::sleep_for(500ms);
    std::system(("DISPLAY=" + x.display() + " xdotool mousemove 10 10 key Escape >/dev/null 2>&1").c_str());
    ASSERT_TRUE(waitFor([&] { return exists(folder + "/ended"); }, 10s)) << "Esc did not end the demo";
    int leftOver = -1;
    waitFor([&] {
        const Picture shot = screenshot(x.display(), folder);
        if (shot.width < 80 * box.width) return false;
        leftOver = 0;
        for (int row = 2; row < 50; ++row) {
            for (int col = 0; col < 80; ++col) leftOver += shot.at(col * box.width, row * box.height) != themeGrey;
        }
        return leftOver == 0;
    }, 5s);
    EXPECT_EQ(leftOver, 0) << "cells not in the theme's grey after the demo";
}

INSTANTIATE_TEST_SUITE_P(, Emulators, ::testing::ValuesIn(emulators),
                         [](const auto& info) { return std::string(info.param.name); });
