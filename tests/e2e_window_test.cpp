// The demo's own window (--window) on a private X server, read back from the
// server's screen: fixed frames equal the frame tool's pictures at scales 1
// and 2; the real program shows its title and an exact picture, plays the
// song, goes fullscreen and back (and is resized) at the new scale, and ends
// with 0 on Esc and on the close button (twenty times in a row on a busy
// machine, with nothing on stderr), by SIGINT on Ctrl-C; a missing song
// shows the desktop's message box; without a display it says why.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "host/song_search.h"
#include "platform/common/text_raster.h"
#include "tests/support/ci_skip.h"
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

class WindowDemo : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "import", "convert", "xdotool"}) {
            if (!onPath(tool)) SKIP_OR_FAIL_ON_CI() << tool << " is not installed";
        }
        folder = testmodules::makeTempFolder("cf-window");
    }
    void TearDown() override {
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }
    void xdotool(const std::string& display, const std::string& args) {
        std::system(("DISPLAY=" + display + " xdotool " + args + " 2>/dev/null").c_str());
    }
    // Keys pressed together in the window ("F11", "alt+Return") and released
    // whatever the press did: xdotool presses through XTEST when the window
    // has the focus and dies at the release when the press closed the window,
    // which would leave the key held in the server for the next program. The
    // last release, through XTEST, names no window.
    void key(const std::string& display, unsigned long id, const std::string& keys) {
        const std::string window = " --window " + std::to_string(id) + " ";
        xdotool(display, "keydown" + window + keys);
        xdotool(display, "keyup" + window + keys);
        xdotool(display, "keyup " + keys);
    }
    WindowPlace waitForWindow(const std::string& display, const std::string& title) {
        WindowPlace w;
        waitFor([&] { return (w = findWindow(display, title)).id != 0; }, 15s);
        return w;
    }
    std::string folder;
};

// The frames of the Windows build's cells check: state for the presenter,
// the same for the frame tool (none: all black).
const std::pair<const char*, const char*> frames[] = {
    {"5,-20000,20,1,2,3,4,0", "--order 5 --time-ms -20000 --seconds 20 --pulse-a 1 --pulse-b 2 --pulse-c 3 "
                              "--beat-count 4 --no-captions"},
    {"17,-50000,50,2,1,3,7,0", "--order 17 --time-ms -50000 --seconds 50 --pulse-a 2 --pulse-b 1 --pulse-c 3 "
                               "--beat-count 7 --no-captions"},
    {"6,-31000,31,0,2,0,9,1", "--order 6 --time-ms -31000 --seconds 31 --pulse-b 2 --beat-count 9"},
    {"black", nullptr},
};

class WindowPixels : public WindowDemo, public ::testing::WithParamInterface<int> {};

TEST_P(WindowPixels, FramesEqualTheFrameToolsPicture) {
    const int scale = GetParam();
    // The screen on which the window takes that scale.
    const XServer x(scale == 1 ? "800x600x24" : "1400x900x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    std::vector<std::string> args = {buildDir + "/compofiller-present-frames", "--window", folder};
    for (const auto& f : frames) args.push_back(std::string("hold:") + f.first);
    const pid_t presenter = spawn(args, {"DISPLAY=" + x.display(), "SDL_AUDIODRIVER=dummy"});
    for (std::size_t n = 0; n < std::size(frames); ++n) {
        SCOPED_TRACE(frames[n].first);
        ASSERT_TRUE(waitFor([&] { return exists(folder + "/shown-" + std::to_string(n)); }, 15s)) << "not shown";
        const WindowPlace w = findWindow(x.display(), demoTitle);
        const Picture shot = screenshot(x.display(), folder);
        Picture expected{640 * scale, 400 * scale, std::vector<std::uint8_t>(std::size_t(640 * 400 * 3) * scale * scale)};
        if (frames[n].second != nullptr) {
            const std::string png = folder + "/expected.png";
            ASSERT_EQ(std::system((buildDir + "/compofiller-frame " + frames[n].second + " --format png --scale " +
                                   std::to_string(scale) + " --out " + png + " && convert " + png + " ppm:" + png + ".ppm")
                                      .c_str()),
                      0);
            expected = readPicture(png + ".ppm");
        }
        ASSERT_EQ(w.width, expected.width);
        ASSERT_EQ(w.height, expected.height);
        int wrong = 0;
        for (int py = 0; py < expected.height; ++py)
            for (int px = 0; px < expected.width; ++px) wrong += shot.at(w.x + px, w.y + py) != expected.at(px, py);
        EXPECT_EQ(wrong, 0) << "pixels differ";
        std::ofstream(folder + "/go-" + std::to_string(n));
    }
    int status = -1;
    ::waitpid(presenter, &status, 0);
    EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, WindowPixels, ::testing::Values(1, 2));

// The grid read back from the window whatever the frame: the picture at
// `scale`, centred on black, each cell one glyph of the font in one of the
// 16 colours, each font pixel a whole block. Returns what is wrong, or "";
// counts the cells with ink.
std::string readGrid(const Picture& shot, const WindowPlace& w, int scale, int& drawn) {
    static const auto glyphs = [] {
        const TextRaster raster(PsfFont::load(findConsoleFont(buildDir)), 1);
        std::vector<CHAR_INFO> cells(80 * 50);
        std::vector<std::uint8_t> pixels(std::size_t(raster.width()) * raster.height());
        std::set<std::uint64_t> masks;
        for (int glyph = 0; glyph < 256; ++glyph) {
            cells[0] = CHAR_INFO{{static_cast<std::uint16_t>(glyph)}, 15};
            raster.draw(cells.data(), pixels.data(), raster.width());
            std::uint64_t mask = 0;
            for (int i = 0; i < 64; ++i) mask |= std::uint64_t(pixels[std::size_t(i / 8) * raster.width() + i % 8] != 0) << i;
            masks.insert(mask);
        }
        return masks;
    }();
    drawn = 0;
    const int left = w.x + (w.width - 640 * scale) / 2, top = w.y + (w.height - 400 * scale) / 2;
    if (left < w.x || top < w.y) return "the window is smaller than the picture";
    for (int y = w.y; y < w.y + w.height; ++y)
        for (int x = w.x; x < w.x + w.width; ++x)
            if ((x < left || x >= left + 640 * scale || y < top || y >= top + 400 * scale) && shot.at(x, y) != 0)
                return "not black around the picture";
    for (int cell = 0; cell < 4000; ++cell) {
        std::uint64_t mask = 0;
        std::uint32_t ink = 0;
        for (int i = 0; i < 64 * scale * scale; ++i) {
            const int fx = i % (8 * scale), fy = i / (8 * scale);
            const std::uint32_t c = shot.at(left + (cell % 80 * 8) * scale + fx, top + (cell / 80 * 8) * scale + fy);
            const std::uint32_t corner = shot.at(left + (cell % 80 * 8 + fx / scale) * scale,
                                                 top + (cell / 80 * 8 + fy / scale) * scale);
            bool palette = false;
            for (unsigned p = 0; p < 16; ++p) palette = palette || c == (textModeArgb(p) & 0xFFFFFFu);
            if (c != corner || !palette || (c != 0 && ink != 0 && c != ink))
                return "cell " + std::to_string(cell) + " is no glyph in one colour at that scale";
            if (c != 0) ink = c, mask |= std::uint64_t(1) << (fy / scale * 8 + fx / scale);
        }
        if (glyphs.count(mask) == 0) return "cell " + std::to_string(cell) + " shows no glyph of the font";
        drawn += ink != 0;
    }
    return "";
}

// Xvfb of the given size with openbox on it, both ended with the test;
// `problem` says what did not start.
struct Desktop {
    explicit Desktop(const char* size) : x(size) {
        if (x.display().empty()) {
            problem = "Xvfb did not start";
            return;
        }
        manager = spawn({"openbox"}, {"DISPLAY=" + x.display()});
        if (!waitFor([&] { return windowManagerRunning(x.display()); }, 10s)) problem = "openbox did not start";
    }
    ~Desktop() {
        if (manager > 0) stop(manager);
    }
    std::string display() const { return x.display(); }
    XServer x;
    pid_t manager = -1;
    std::string problem;
};

// Under openbox on a screen of 1920 x 1200: the window takes scale 2 (scale
// 3 leaves no room for the frame), fullscreen scale 3, and 1500 x 900 scale 2
// centred on black.
TEST_F(WindowDemo, TheDemoShowsItsTitleAndExactPicturesPlaysTheSongAndEndsOnEscape) {
    if (!onPath("openbox")) SKIP_OR_FAIL_ON_CI() << "openbox is not installed";
    const Desktop x("1920x1200x24");
    ASSERT_EQ(x.problem, "");
    pulsetest::PulseServer server;
    if (!server.ok()) SKIP_OR_FAIL_ON_CI() << "no PulseAudio server: " << server.why();
    pulsetest::MonitorRecorder recorder(server);
    ASSERT_TRUE(recorder.waitForData(10000)) << "the recorder took nothing";
    std::vector<std::string> environment = server.clientEnvironment();
    environment.push_back("DISPLAY=" + x.display());
    std::string seen;
    const auto started = std::chrono::steady_clock::now();
    const pulsetest::RunResult run = pulsetest::runProgram({buildDir + "/compofiller", "--window"}, environment, 60, 0, [&] {
        WindowPlace w = waitForWindow(x.display(), demoTitle);
        if (w.title != demoTitle || w.width != 1280 || w.height != 800) {
            seen = "window '" + w.title + "' of " + std::to_string(w.width) + " x " + std::to_string(w.height);
            return;
        }
        // Each step: keys (or a new size), the size it gives, the scale shown.
        const std::tuple<const char*, int, int, int> steps[] = {
            {"", 1280, 800, 2}, {"F11", 1920, 1200, 3}, {"alt+Return", 1280, 800, 2}, {"resize", 1500, 900, 2}};
        std::this_thread::sleep_until(started + 7s);  // by then the beam lattice covers the screen
        for (const auto& [command, width, height, scale] : steps) {
            if (command == std::string("resize")) xdotool(x.display(), "windowsize " + std::to_string(w.id) + " 1500 900");
            else if (*command != '\0') key(x.display(), w.id, command);
            waitFor([&] { return (w = placeOf(x.display(), w.id)).width == width && w.height == height; }, 5s);
            std::this_thread::sleep_for(300ms);
            int drawn = 0;
            const std::string wrong = readGrid(screenshot(x.display(), folder), w, scale, drawn);
            if (!wrong.empty() || drawn < 400 || w.width != width)
                seen += std::string(command) + ": " + wrong + ", " + std::to_string(drawn) + " cells drawn; ";
        }
        key(x.display(), w.id, "Escape");
    });
    const std::vector<std::int16_t> recorded = recorder.stop();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // The song's first 6 s are in the recording whole.
    const std::string wav = folder + "/song.wav";
    ASSERT_EQ(std::system((buildDir + "/compofiller-song wav " + buildDir + "/QUILLOW3.oxm " + wav + " --seconds 6").c_str()), 0);
    const recording::Comparison c = recording::compare(recorded, recording::readWav16(wav.c_str()));
    ASSERT_TRUE(c.aligned) << "the song is not in the recording";
    EXPECT_GE(c.comparedFrames, 6 * 44100 - 1) << "the song is short in the recording";
    EXPECT_TRUE(c.dropouts.empty()) << c.dropouts.size() << " dropouts";
}

// Ctrl-C ends it by SIGINT as in a terminal (where SIGINT is ignored, as by
// nohup, as Esc does); the close button, as a window manager sends it, with 0.
// Frames back to back (--fps 0) never wait, and the window's events are
// still taken.
TEST_F(WindowDemo, CtrlCAndTheCloseButtonEndItAsInATerminalAndAsEsc) {
    const XServer x("800x600x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    for (const bool closeButton : {false, true}) {
        const auto started = std::chrono::steady_clock::now();
        const pulsetest::RunResult run = pulsetest::runProgram(
            {buildDir + "/compofiller", "--window", "--stats", "--fps", "0"},
            {"DISPLAY=" + x.display(), "SDL_AUDIODRIVER=dummy"}, 30,
            0, [&] {
                const WindowPlace w = waitForWindow(x.display(), demoTitle);
                if (closeButton) sendCloseButton(x.display(), w.id);
                else key(x.display(), w.id, "ctrl+c");
            });
        EXPECT_LT(std::chrono::steady_clock::now() - started, 20s) << "it did not end";
        struct sigaction interrupt{};
        ::sigaction(SIGINT, nullptr, &interrupt);
        if (!closeButton && interrupt.sa_handler != SIG_IGN) {
            EXPECT_EQ(run.status, -1) << "Ctrl-C: not ended by a signal";
            EXPECT_EQ(run.err, "") << "no exit lines after Ctrl-C";
        } else {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_NE(run.err.find("bytes to the window"), std::string::npos) << run.err;
        }
        EXPECT_EQ(run.out, "") << "the terminal is left alone";
    }
}

// Ended twenty times in a row under openbox, on a machine kept busy: by Esc
// or the close button, straight away or after fullscreen and back, every run
// ends with 0 and says nothing. (Sound to SDL's dummy driver: closing a
// PulseAudio stream at the end takes up to 1.7 s more a run.)
TEST_F(WindowDemo, EndsCleanlyTwentyTimesInARowOnABusyMachine) {
    if (!onPath("openbox")) SKIP_OR_FAIL_ON_CI() << "openbox is not installed";
    const Desktop x("800x600x24");
    ASSERT_EQ(x.problem, "");
    const std::vector<std::string> environment = {"DISPLAY=" + x.display(), "SDL_AUDIODRIVER=dummy"};
    const pulsetest::BusyLoops load(int(std::max(2u, std::thread::hardware_concurrency())), 120, 10);
    for (int run = 0; run < 20; ++run) {
        bool toggled = true;
        const pulsetest::RunResult result = pulsetest::runProgram({buildDir + "/compofiller", "--window"}, environment,
                                                                  30, 0, [&] {
            WindowPlace w = waitForWindow(x.display(), demoTitle);
            std::this_thread::sleep_for(200ms);  // the frames' waits under way
            if (run % 4 >= 2) {
                for (const char* keys : {"F11", run % 4 == 2 ? "F11" : "alt+Return"}) {
                    const int width = w.width;
                    key(x.display(), w.id, keys);
                    toggled = toggled &&
                              waitFor([&] { return (w = placeOf(x.display(), w.id)).width != width; }, 5s);
                }
            }
            if (run % 2 == 0) key(x.display(), w.id, "Escape");
            else sendCloseButton(x.display(), w.id);
        });
        EXPECT_TRUE(toggled) << "run " << run << ": fullscreen and back did not happen";
        EXPECT_EQ(result.status, 0) << "run " << run;
        EXPECT_EQ(result.err, "") << "run " << run;
    }
}

TEST_F(WindowDemo, AMissingSongIsToldInAMessageBoxAndAMissingDisplayOnOneLine) {
    const XServer x("800x600x24");
    // A copy of the program with no song beside it, started where there is none.
    std::filesystem::copy_file(buildDir + "/compofiller", folder + "/compofiller");
    bool answered = false;
    const pulsetest::RunResult run = pulsetest::runProgram(
        {folder + "/compofiller", "--window"}, {"DISPLAY=" + x.display(), "SDL_AUDIODRIVER=dummy"}, 30, 0,
        [&] {
            const WindowPlace box = waitForWindow(x.display(), "Error! Zembo suxx!");
            answered = box.id != 0;
            if (answered) xdotool(x.display(), "windowfocus --sync " + std::to_string(box.id) + " key Return");
        },
        folder);
    EXPECT_TRUE(answered) << "no message box; stderr: " << run.err;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Error! Zembo suxx!: Failed loading Protracker-Module\n");
    const pulsetest::RunResult blind = pulsetest::runProgram(
        {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", buildDir + "/compofiller", "--window"}, {}, 10);
    EXPECT_EQ(blind.status, 1);
    EXPECT_EQ(blind.err, "compofiller: --window: no display to open a window on: neither DISPLAY nor WAYLAND_DISPLAY "
                         "is set\n");
    // A display that does not answer: SDL would play the demo unseen on its
    // offscreen driver.
    const pulsetest::RunResult unanswered = pulsetest::runProgram(
        {"env", "-u", "WAYLAND_DISPLAY", "DISPLAY=:9999", "XDG_RUNTIME_DIR=" + folder, buildDir + "/compofiller", "--window"},
        {}, 10);
    EXPECT_EQ(unanswered.status, 1);
    EXPECT_EQ(unanswered.err, "compofiller: --window: no display to open a window on: nothing answers at DISPLAY=:9999\n");
}

}  // namespace
