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
#include "tests/support/xm_test_modules.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

const std::string buildDir = COMPOFILLER_BUILD_DIR;

// The palette the xterm gets (the VGA colours), by terminal colour number.
constexpr std::uint32_t palette[16] = {0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA,
                                       0x00AAAA, 0xAAAAAA, 0x555555, 0xFF5555, 0x55FF55, 0xFFFF55,
                                       0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF};
constexpr std::uint32_t themeBackground = 0xFFFFFF;
constexpr std::uint32_t cursorColour = 0xFF0000;

bool onPath(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {},
            posix_spawn_file_actions_t* actions = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings(extraEnv);
    for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), envp.data()) != 0) return -1;
    return pid;
}

void stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGCONT);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// An X server of our own on a display number it picks itself.
class XServer {
public:
    XServer() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "800x800x24", "-nolisten", "tcp"},
                     {}, &actions);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        std::string number;
        pollfd fd{fds[0], POLLIN, 0};
        char c;
        while (::poll(&fd, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~XServer() { stop(pid_); }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return (std::uint32_t{rgb[i]} << 16) | (std::uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
    }
};

// The whole X screen, through ImageMagick's import, as binary PPM.
Picture screenshot(const std::string& display, const std::string& folder) {
    Picture p;
    const std::string file = folder + "/shot.ppm";
    if (std::system(("import -display " + display + " -window root -depth 8 ppm:" + file + " 2>/dev/null").c_str()) != 0)
        return p;
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maximum = 0;
    in >> magic >> p.width >> p.height >> maximum;
    in.get();
    if (magic != "P6" || maximum != 255) return Picture{};
    p.rgb.resize(static_cast<std::size_t>(p.width) * p.height * 3);
    in.read(reinterpret_cast<char*>(p.rgb.data()), static_cast<std::streamsize>(p.rgb.size()));
    return p;
}

std::vector<CHAR_INFO> readCells(const std::string& path) {
    std::vector<CHAR_INFO> cells(80 * 50);
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(cells.data()), 80 * 50 * sizeof(CHAR_INFO));
    return cells;
}

bool blankGlyph(unsigned glyph) { return glyph == 0 || glyph == 32 || glyph == 255; }

// Compares the screen with the cells (those for which `checked` holds);
// empty when every cell is right, else the first few cells that are not.
std::string differences(const Picture& shot, const std::vector<CHAR_INFO>& cells, int cellWidth, int cellHeight,
                        const std::function<bool(int)>& checked = nullptr) {
    std::ostringstream out;
    int wrong = 0;
    if (shot.width < 80 * cellWidth || shot.height < 50 * cellHeight) return "no screenshot";
    for (int row = 0; row < 50; ++row) {
        for (int col = 0; col < 80; ++col) {
            if (checked && !checked(row * 80 + col)) continue;
            const CHAR_INFO& cell = cells[static_cast<std::size_t>(row * 80 + col)];
            const unsigned glyph = cell.Char.UnicodeChar & 0xFF;
            const std::uint32_t ink = palette[terminalColorForAttribute(cell.Attributes & 15)];
            const bool blank = blankGlyph(glyph) || ink == palette[0];
            int inkPixels = 0, blackPixels = 0, otherPixels = 0;
            std::uint32_t other = 0;
            for (int y = 0; y < cellHeight; ++y) {
                for (int x = 0; x < cellWidth; ++x) {
                    const std::uint32_t c = shot.at(col * cellWidth + x, row * cellHeight + y);
                    if (c == palette[0]) ++blackPixels;
                    else if (c == ink && !blank) ++inkPixels;
                    else ++otherPixels, other = c;
                }
            }
            const bool right = otherPixels == 0 && (blank || inkPixels > 0) && (glyph == 219 || blackPixels > 0);
            if (!right && wrong++ < 5) {
                out << "row " << row << " column " << col << " glyph " << glyph << " colour " << std::hex << ink
                    << ": ink " << std::dec << inkPixels << ", black " << blackPixels << ", other " << otherPixels
                    << " (e.g. " << std::hex << other << std::dec << "); ";
            }
        }
    }
    if (wrong > 0) out << wrong << " cells wrong";
    return out.str();
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

class XtermScreen : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xterm", "import"}) {
            if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed";
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
    void startXterm(const std::string& command, const std::string& font) {
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
        args.insert(args.end(), {"-e", "sh", "-c", command});
        xterm = spawn(args, {"DISPLAY=" + x.display(), "LC_ALL=C.UTF-8", "SDL_AUDIODRIVER=dummy",
                             "LSAN_OPTIONS=suppressions=" COMPOFILLER_SOURCE_DIR "/tests/lsan-suppressions.txt"});
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
        startXterm(command, font);
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
        waitFor([&] { return (problems = differences(screenshot(x.display(), folder), cells, cellWidth, cellHeight)).empty(); },
                limit);
        EXPECT_EQ(problems, "") << "frame " << n;
    }
    void next(int n) { std::ofstream(folder + "/go-" + std::to_string(n)); }

    XServer x;
    pid_t xterm = -1;
    std::string folder, tmuxSocket;
    int cellWidth = 0, cellHeight = 0;
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
    if (!onPath("tmux")) GTEST_SKIP() << "tmux is not installed";
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
        problems = differences(screenshot(x.display(), folder), cells, cellWidth, cellHeight,
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
