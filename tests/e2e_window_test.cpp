// The demo's own window (--window) on a private X server, read back from the
// server's screen: fixed frames equal the frame tool's pictures pixel for
// pixel at scales 1 and 2; the real program shows its title and an exact
// picture, plays the song, goes fullscreen and back (and is resized) at the
// new scale, and ends with status 0 on Esc and on the close button; a
// missing song shows the desktop's message box; without a display it says
// why on one line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/song_search.h"
#include "platform/common/text_raster.h"
#include "tests/support/pulse_server.h"
#include "tests/support/recording_compare.h"
#include "tests/support/x_screen.h"
#include "tests/support/x_window.h"
#include "tests/support/xm_test_modules.h"

namespace {

using namespace std::chrono_literals;
using namespace xtest;

const std::string buildDir = COMPOFILLER_BUILD_DIR;
const std::string demoTitle = "Zembo - VRKT #12 - Compofiller!";

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "import", "convert", "xdotool"}) {
            if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed";
        }
        folder = testmodules::makeTempFolder("cf-window");
    }
    void TearDown() override {
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }
    std::string folder;
};

// ---- Fixed frames against the frame tool.

struct Frame {
    const char* state;     // as compofiller-present-frames takes it
    const char* toolArgs;  // the same state for compofiller-frame; null: all black
};

// Those of the Windows build's cells check.
const Frame frames[] = {
    {"5,-20000,20,1,2,3,4,0", "--order 5 --time-ms -20000 --seconds 20 --pulse-a 1 --pulse-b 2 --pulse-c 3 "
                              "--beat-count 4 --no-captions"},
    {"17,-50000,50,2,1,3,7,0", "--order 17 --time-ms -50000 --seconds 50 --pulse-a 2 --pulse-b 1 --pulse-c 3 "
                               "--beat-count 7 --no-captions"},
    {"6,-31000,31,0,2,0,9,1", "--order 6 --time-ms -31000 --seconds 31 --pulse-b 2 --beat-count 9"},
    {"black", nullptr},
};

// The window's pixels against the picture; empty when they are the same.
std::string differences(const Picture& shot, const WindowPlace& window, const Picture& expected) {
    if (window.width != expected.width || window.height != expected.height)
        return "the window is " + std::to_string(window.width) + " x " + std::to_string(window.height) + ", the picture " +
               std::to_string(expected.width) + " x " + std::to_string(expected.height);
    if (shot.width < window.x + window.width || shot.height < window.y + window.height || window.x < 0 || window.y < 0)
        return "the window is not wholly on the screen";
    int wrong = 0;
    std::string first;
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            if (shot.at(window.x + x, window.y + y) == expected.at(x, y)) continue;
            if (wrong++ == 0) first = "first at " + std::to_string(x) + ", " + std::to_string(y);
        }
    }
    return wrong == 0 ? "" : std::to_string(wrong) + " pixels differ, " + first;
}

class WindowPixels : public WindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(WindowPixels, FramesEqualTheFrameToolsPicture) {
    const int scale = GetParam();
    // The largest whole scale that fits the screen is the one asked for.
    const XServer x(scale == 1 ? "800x600x24" : "1400x900x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    std::vector<std::string> args = {buildDir + "/compofiller-present-frames", "--window", folder};
    for (const Frame& f : frames) args.push_back(std::string("hold:") + f.state);
    pid_t presenter = spawn(args, {"DISPLAY=" + x.display(), "SDL_AUDIODRIVER=dummy"});
    ASSERT_GT(presenter, 0);
    for (std::size_t n = 0; n < std::size(frames); ++n) {
        SCOPED_TRACE(frames[n].state);
        const std::string index = std::to_string(n);
        ASSERT_TRUE(waitFor([&] { return exists(folder + "/shown-" + index); }, 15s)) << "frame not shown";
        const WindowPlace window = findWindow(x.display(), demoTitle);
        ASSERT_NE(window.id, 0u) << "no window titled " << demoTitle;
        const Picture shot = screenshot(x.display(), folder);
        Picture expected;
        if (frames[n].toolArgs != nullptr) {
            const std::string png = folder + "/expected.png", ppm = folder + "/expected.ppm";
            ASSERT_EQ(std::system((buildDir + "/compofiller-frame " + frames[n].toolArgs + " --format png --scale " +
                                   std::to_string(scale) + " --out " + png + " && convert " + png + " ppm:" + ppm)
                                      .c_str()),
                      0);
            expected = readPicture(ppm);
        } else {
            expected.width = 640 * scale;
            expected.height = 400 * scale;
            expected.rgb.assign(std::size_t(expected.width) * expected.height * 3, 0);
        }
        EXPECT_EQ(differences(shot, window, expected), "");
        std::ofstream(folder + "/go-" + index);
    }
    int status = -1;
    EXPECT_EQ(::waitpid(presenter, &status, 0), presenter);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, WindowPixels, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& p) { return "Scale" + std::to_string(p.param); });

// ---- The real program.

// Reads the grid back from the picture in the window, whatever the frame:
// at `scale`, centred in the window on black, every cell must be one glyph
// of the console font in one of the 16 colours, each font pixel a whole
// scale x scale block. Counts the cells with ink in `drawn`; returns what is
// wrong, or "".
class GridReader {
public:
    GridReader() {
        const PsfFont font = PsfFont::load(findConsoleFont(buildDir));
        const TextRaster raster(font, 1);
        std::vector<CHAR_INFO> cells(80 * 50);
        std::vector<std::uint8_t> pixels(std::size_t(raster.width()) * raster.height());
        for (int glyph = 0; glyph < 256; ++glyph) {
            cells[0].Char.AsciiChar = static_cast<char>(glyph);
            cells[0].Attributes = 15;
            raster.draw(cells.data(), pixels.data(), raster.width());
            std::uint64_t mask = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) mask |= std::uint64_t(pixels[std::size_t(y) * raster.width() + x] != 0) << (y * 8 + x);
            glyphs.insert(mask);
        }
        for (unsigned c = 0; c < 16; ++c) colours.insert(textModeArgb(c) & 0xFFFFFFu);
    }

    std::string read(const Picture& shot, const WindowPlace& window, int scale, int& drawn) const {
        drawn = 0;
        const int w = 640 * scale, h = 400 * scale;
        const int left = window.x + (window.width - w) / 2, top = window.y + (window.height - h) / 2;
        if (window.width < w || window.height < h) return "the window is smaller than the picture at that scale";
        for (int y = window.y; y < window.y + window.height; ++y) {
            for (int x = window.x; x < window.x + window.width; ++x) {
                const bool inside = x >= left && x < left + w && y >= top && y < top + h;
                if (!inside && shot.at(x, y) != 0)
                    return "not black around the picture at " + std::to_string(x) + ", " + std::to_string(y);
            }
        }
        for (int row = 0; row < 50; ++row) {
            for (int col = 0; col < 80; ++col) {
                std::uint64_t mask = 0;
                std::uint32_t ink = 0;
                for (int fy = 0; fy < 8; ++fy) {
                    for (int fx = 0; fx < 8; ++fx) {
                        const int px = left + (col * 8 + fx) * scale, py = top + (row * 8 + fy) * scale;
                        const std::uint32_t c = shot.at(px, py);
                        for (int sy = 0; sy < scale; ++sy)
                            for (int sx = 0; sx < scale; ++sx)
                                if (shot.at(px + sx, py + sy) != c) return "a font pixel is not a whole block" + at(row, col);
                        if (c == 0) continue;
                        if (colours.count(c) == 0 || (ink != 0 && c != ink)) return "a colour the cell cannot have" + at(row, col);
                        ink = c;
                        mask |= std::uint64_t(1) << (fy * 8 + fx);
                    }
                }
                if (glyphs.count(mask) == 0) return "no glyph of the font" + at(row, col);
                drawn += ink != 0;
            }
        }
        return "";
    }

private:
    static std::string at(int row, int col) { return " (row " + std::to_string(row) + ", column " + std::to_string(col) + ")"; }
    std::set<std::uint64_t> glyphs;
    std::set<std::uint32_t> colours;
};

class WindowDemo : public WindowTest {
protected:
    void key(const std::string& display, const WindowPlace& window, const char* keys) {
        std::system(("DISPLAY=" + display + " xdotool key --window " + std::to_string(window.id) + " " + keys).c_str());
    }
    // Waits for the window to take that size, then a moment for the frames
    // drawn at it.
    bool resized(const std::string& display, WindowPlace& window, int width, int height) {
        const bool done = waitFor(
            [&] {
                window = placeOf(display, window.id);
                return window.width == width && window.height == height;
            },
            5s);
        std::this_thread::sleep_for(300ms);
        return done;
    }
    // What the window shows now, read as a grid at `scale`.
    std::string picture(const std::string& display, const WindowPlace& window, int scale, int& drawn) {
        static const GridReader reader;
        return reader.read(screenshot(display, folder), window, scale, drawn);
    }
};

// With a window manager (fullscreen asks one) on a screen of 1920 x 1200:
// the window takes scale 2 (scale 3 would fill the screen, leaving no room
// for the frame), fullscreen scale 3, and a window of 1500 x 900 shows scale
// 2 centred on black.
TEST_F(WindowDemo, ShowsItsTitleAndAnExactPicturePlaysTheSongGoesFullscreenAndBackAndEndsOnEscape) {
    if (!onPath("openbox")) GTEST_SKIP() << "openbox is not installed";
    const XServer x("1920x1200x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    struct Manager {
        pid_t pid;
        ~Manager() { stop(pid); }
    } manager{spawn({"openbox"}, {"DISPLAY=" + x.display()})};
    ASSERT_TRUE(waitFor([&] { return windowManagerRunning(x.display()); }, 10s)) << "openbox did not start";
    pulsetest::PulseServer server;
    if (!server.ok()) GTEST_SKIP() << "no PulseAudio server: " << server.why();
    const double songSeconds = 6.0;
    for (int attempt = 1;; ++attempt) {
        pulsetest::MonitorRecorder recorder(server);
        ASSERT_TRUE(recorder.ok());
        ASSERT_TRUE(recorder.waitForData(10000)) << "the recorder took nothing";
        std::vector<std::string> environment = server.clientEnvironment();
        environment.push_back("DISPLAY=" + x.display());
        std::vector<std::string> seen;
        const auto started = std::chrono::steady_clock::now();
        const pulsetest::RunResult run = pulsetest::runProgram(
            {buildDir + "/compofiller", "--window"}, environment, 60, 0,
            [&] {
                WindowPlace window;
                if (!waitFor([&] { return (window = findWindow(x.display(), demoTitle)).id != 0; }, 15s)) {
                    seen.push_back("no window titled " + demoTitle);
                    return;
                }
                auto look = [&](const char* when, int scale, int minimumDrawn) {
                    int drawn = 0;
                    const std::string wrong = picture(x.display(), window, scale, drawn);
                    if (!wrong.empty() || drawn < minimumDrawn)
                        seen.push_back(std::string(when) + ": " + wrong + " (" + std::to_string(drawn) + " cells drawn)");
                };
                if (titleOf(x.display(), window.id) != demoTitle) seen.push_back("title " + titleOf(x.display(), window.id));
                if (window.width != 1280 || window.height != 800)
                    seen.push_back("window of " + std::to_string(window.width) + " x " + std::to_string(window.height));
                // By 7 s the beam lattice covers much of the screen.
                std::this_thread::sleep_until(started + 7s);
                look("windowed", 2, 400);
                key(x.display(), window, "F11");
                if (!resized(x.display(), window, 1920, 1200)) seen.push_back("F11 did not fill the screen");
                look("fullscreen", 3, 100);
                key(x.display(), window, "alt+Return");
                if (!resized(x.display(), window, 1280, 800)) seen.push_back("Alt+Enter did not give the window back");
                look("back from fullscreen", 2, 100);
                std::system(("DISPLAY=" + x.display() + " xdotool windowsize " + std::to_string(window.id) + " 1500 900")
                                .c_str());
                if (!resized(x.display(), window, 1500, 900)) seen.push_back("the window was not resized");
                look("resized", 2, 100);
                key(x.display(), window, "Escape");
            });
        const std::vector<std::int16_t> recorded = recorder.stop();
        std::string seenText;
        for (const std::string& s : seen) seenText += s + "; ";
        EXPECT_EQ(seenText, "");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");

        const std::string wav = folder + "/song.wav";
        ASSERT_EQ(std::system((buildDir + "/compofiller-song wav " + buildDir + "/QUILLOW3.oxm " + wav +
                               " --seconds " + std::to_string(songSeconds))
                                  .c_str()),
                  0);
        const recording::Comparison c = recording::compare(recorded, recording::readWav16(wav.c_str()));
        ASSERT_TRUE(c.aligned) << "the song is not in the recording";
        ASSERT_GE(c.lag, 0) << "the song started before the recording";
        // A machine shared with other work may spoil a run: one more, which
        // must be clean.
        if (attempt == 2 || c.dropouts.empty()) {
            EXPECT_GE(c.comparedFrames, std::int64_t(songSeconds * 44100) - 1) << "the song is short in the recording";
            EXPECT_TRUE(c.dropouts.empty()) << c.dropouts.size() << " dropouts, the first at frame "
                                            << c.dropouts.front().referenceFrame;
            break;
        }
        std::printf("first run: %zu dropouts, once more\n", c.dropouts.size());
    }
}

TEST_F(WindowDemo, TheCloseButtonEndsItWithStatusZeroAndItsFigures) {
    const XServer x("800x600x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    bool closed = false;
    const pulsetest::RunResult run = pulsetest::runProgram(
        {buildDir + "/compofiller", "--window", "--stats"}, {"DISPLAY=" + x.display(), "SDL_AUDIODRIVER=dummy"}, 30, 0,
        [&] {
            WindowPlace window;
            closed = waitFor([&] { return (window = findWindow(x.display(), demoTitle)).id != 0; }, 15s);
            std::this_thread::sleep_for(1s);
            closed = closed && sendCloseButton(x.display(), window.id);
        });
    EXPECT_TRUE(closed) << "no window to close";
    EXPECT_EQ(run.status, 0) << run.err;
    // The figures say where the frames went.
    EXPECT_NE(run.err.find("bytes to the window"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("window at scale 1, renderer framebuffer"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << "the terminal is left alone";
}

// As in a terminal: the program ends by SIGINT, and a shell says 130.
TEST_F(WindowDemo, CtrlCInTheWindowInterruptsItAsInATerminal) {
    const XServer x("800x600x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    pid_t demo = spawn({buildDir + "/compofiller", "--window"}, {"DISPLAY=" + x.display(), "SDL_AUDIODRIVER=dummy"});
    ASSERT_GT(demo, 0);
    WindowPlace window;
    ASSERT_TRUE(waitFor([&] { return (window = findWindow(x.display(), demoTitle)).id != 0; }, 15s)) << "no window";
    key(x.display(), window, "ctrl+c");
    int status = 0;
    const bool ended = waitFor([&] { return ::waitpid(demo, &status, WNOHANG) == demo; }, 10s);
    if (!ended) stop(demo);
    ASSERT_TRUE(ended) << "Ctrl-C did not end it";
    // Started with SIGINT ignored (as by nohup), it ends as on Esc instead.
    struct sigaction interrupt{};
    ::sigaction(SIGINT, nullptr, &interrupt);
    if (interrupt.sa_handler == SIG_IGN) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    else EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
}

TEST_F(WindowDemo, AMissingSongIsToldInTheDesktopsMessageBox) {
    const XServer x("800x600x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    // A copy of the program with no song beside it, started where there is none.
    std::filesystem::copy_file(buildDir + "/compofiller", folder + "/compofiller");
    bool answered = false;
    const pulsetest::RunResult run = pulsetest::runProgram(
        {folder + "/compofiller", "--window"}, {"DISPLAY=" + x.display(), "SDL_AUDIODRIVER=dummy"}, 30, 0,
        [&] {
            WindowPlace box;
            answered = waitFor([&] { return (box = findWindow(x.display(), "Error! Zembo suxx!")).id != 0; }, 15s) &&
                       std::system(("DISPLAY=" + x.display() + " xdotool windowfocus --sync " + std::to_string(box.id) +
                                    " key Return")
                                       .c_str()) == 0;
        },
        folder);
    EXPECT_TRUE(answered) << "no message box; stderr: " << run.err;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Error! Zembo suxx!: Failed loading Protracker-Module\n");
}

TEST_F(WindowDemo, WithoutADisplayItSaysWhyOnOneLine) {
    const pulsetest::RunResult run = pulsetest::runProgram(
        {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", buildDir + "/compofiller", "--window"}, {}, 10);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("compofiller: --window: no display", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

}  // namespace
