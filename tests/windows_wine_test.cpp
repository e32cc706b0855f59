// The Windows build under Wine: its cells in Wine's console, the program in a
// terminal with its sound, its message box, its window's pixels, and the
// program in a console smaller than the grid. Needs ./build-windows.sh to
// have run (build-windows/), Wine, tmux, Xvfb, xdotool and ImageMagick;
// skipped without.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/common/cp437.h"
#include "tests/support/ci_skip.h"
#include "tests/support/pulse_server.h"
#include "tests/support/recording_compare.h"
#include "tests/support/shell.h"
#include "tests/support/x_screen.h"
#include "tests/support/xm_test_modules.h"

namespace {

using shelltest::capture;
using shelltest::readText;
using shelltest::shellQuote;

using namespace std::chrono_literals;

const std::string wine = "/usr/lib/wine/wine64";
const std::string linuxBuild = COMPOFILLER_BUILD_DIR;

std::string windowsBuild() {
    const char* dir = std::getenv("COMPOFILLER_WINDOWS_BUILD");
    return dir != nullptr ? dir : COMPOFILLER_SOURCE_DIR "/build-windows";
}

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// One Wine prefix for the whole test program, fresh, removed at the end with
// its wineserver stopped. Booting one takes about 11 s, so each test program
// (ctest runs each test alone) copies a prefix booted once for the build
// folder and never run in, in half a second.
class WineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        skipReason = "";
        for (const std::string& tool : {wine, std::string("/usr/bin/wineserver"), std::string("/usr/bin/wineboot")}) {
            if (::access(tool.c_str(), X_OK) != 0) skipReason = tool + " is missing (Wine)";
        }
        for (const std::string file : {"compofiller.exe", "compofiller-console-check.exe",
                                       "compofiller-window-check.exe", "QUILLOW3.oxm", "FullCyrSlav-VGA8.psf.gz"}) {
            if (::access((windowsBuild() + "/" + file).c_str(), R_OK) != 0)
                skipReason = windowsBuild() + "/" + file + " is missing (run ./build-windows.sh)";
        }
        if (!skipReason.empty()) return;
        folder = testmodules::makeTempFolder("wine");
        const std::string booted = linuxBuild + "/wine-prefix-booted";
        std::error_code ec;
        if (!std::filesystem::exists(booted + "/system.reg", ec)) {
            // Booted under another name, then renamed whole.
            prefix = booted + "." + std::to_string(::getpid());
            const int status = std::system(("env -u DISPLAY " + wineEnvironment() +
                                            " wineboot -i >/dev/null 2>&1 && env " + wineEnvironment() +
                                            " wineserver -w")
                                               .c_str());
            if (status != 0) skipReason = "wineboot failed";
            std::filesystem::rename(prefix, booted, ec);
            if (ec) std::filesystem::remove_all(prefix, ec);
            if (!skipReason.empty()) return;
        }
        prefix = folder + "/prefix";
        if (std::system(("cp -a " + shellQuote(booted) + " " + shellQuote(prefix)).c_str()) != 0)
            skipReason = "cannot copy the booted Wine prefix";
    }
    static void TearDownTestSuite() {
        if (!prefix.empty()) std::system(("env " + wineEnvironment() + " wineserver -k 2>/dev/null").c_str());
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
        prefix.clear();
        folder.clear();
    }
    void SetUp() override {
        if (!skipReason.empty()) SKIP_OR_FAIL_ON_CI() << skipReason;
    }

    static std::string wineEnvironment() {
        return "WINEPREFIX=" + shellQuote(prefix) + " WINEDLLOVERRIDES='mscoree,mshtml=' WINEDEBUG=-all";
    }

    static std::string skipReason;
    static std::string folder;
    static std::string prefix;
};
std::string WineTest::skipReason;
std::string WineTest::folder;
std::string WineTest::prefix;

// A tmux server of our own with one pane (80 x 50 unless told) running
// `command` in a shell that prints its exit status afterwards.
class Pane {
public:
    Pane(const std::string& folder, const std::string& command, int columns = 80, int rows = 50) {
        static int counter = 0;
        socket_ = "cf-wine-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const std::string conf = folder + "/tmux.conf";
        std::ofstream(conf) << "set -g escape-time 0\nset -g status off\nset -g remain-on-exit on\n"
                               "set -g default-terminal tmux-256color\n";
        const std::string script = command + "; echo exit-status-$?; exec sleep 120";
        tmux("-f " + shellQuote(conf) + " new-session -d -s w -x " + std::to_string(columns) + " -y " +
             std::to_string(rows) + " -c " + shellQuote(folder) + " " +
             shellQuote("sh -c " + shellQuote(script)));
    }
    ~Pane() { tmux("kill-server"); }
    std::string tmux(const std::string& args) const {
        return capture("tmux -L " + socket_ + " " + args + " 2>/dev/null");
    }
    std::string text() const { return tmux("capture-pane -p -t w"); }
    std::string title() const {
        std::string t = tmux("display-message -p -t w '#{pane_title}'");
        while (!t.empty() && t.back() == '\n') t.pop_back();
        return t;
    }
    std::string exitStatus() const {
        const std::string t = text();
        const auto at = t.find("exit-status-");
        if (at == std::string::npos) return "";
        return t.substr(at + 12, t.find('\n', at) - at - 12);
    }

private:
    std::string socket_;
};

struct Frame {
    std::string state;     // as the console check takes it
    std::string toolArgs;  // the same state for the Linux frame tool
};

// Runs the console check on `frames` in a pane of columns x rows and
// compares what the console's window shows with the Linux frame tool's cells:
// the grid whole at the top-left where the console takes 80 x 50, else
// centred in the window, or the window's worth of its centre, blank around.
void checkConsoleCells(const std::string& folder, const std::string& environment, const std::vector<Frame>& frames,
                       int columns, int rows) {
    std::string command = "env " + environment + " " + wine + " " +
                          shellQuote(windowsBuild() + "/compofiller-console-check.exe") + " cells.txt";
    for (const Frame& f : frames) command += " " + f.state;
    const Pane pane(folder, command, columns, rows);
    ASSERT_TRUE(waitFor([&] { return !pane.exitStatus().empty(); }, 60s)) << pane.text();
    ASSERT_EQ(pane.exitStatus(), "0") << pane.text();

    auto place = [](int size, int grid, int& first, int& offset) {
        first = size < grid ? (grid - size) / 2 : 0;
        offset = size > grid ? (size - grid) / 2 : 0;
    };
    int firstColumn, left, firstRow, top;
    place(columns, 80, firstColumn, left);
    place(rows, 50, firstRow, top);
    std::istringstream shown(readText(folder + "/cells.txt"));
    for (const Frame& f : frames) {
        std::vector<unsigned> gridChar(4000, 0x20), gridAttr(4000, 0);
        if (!f.toolArgs.empty()) {
            std::istringstream tool(capture(linuxBuild + "/compofiller-frame " + f.toolArgs));
            for (int i = 0; i < 4000; ++i) {
                std::string token;
                ASSERT_TRUE(tool >> token) << f.state;
                const unsigned value = unsigned(std::stoul(token, nullptr, 16));
                gridChar[i] = unsigned(cp437ToUnicode[value >> 8]);
                gridAttr[i] = value & 0xFF;
            }
        }
        int shownColumns = 0, shownRows = 0;
        ASSERT_TRUE(shown >> shownColumns >> shownRows) << f.state;
        ASSERT_EQ(shownColumns, columns);
        ASSERT_EQ(shownRows, rows);
        int wrong = 0;
        std::string first;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                std::string token;
                ASSERT_TRUE(shown >> token) << f.state;
                const int gridRow = r - top + firstRow, gridColumn = c - left + firstColumn;
                unsigned expectedChar = 0x20, expectedAttr = 0;
                if (gridRow >= 0 && gridRow < 50 && gridColumn >= 0 && gridColumn < 80) {
                    expectedChar = gridChar[gridRow * 80 + gridColumn];
                    expectedAttr = gridAttr[gridRow * 80 + gridColumn];
                }
                const unsigned character = unsigned(std::stoul(token.substr(0, 4), nullptr, 16));
                const unsigned attribute = unsigned(std::stoul(token.substr(5, 4), nullptr, 16));
                if (character != expectedChar || attribute != expectedAttr) {
                    if (wrong++ == 0)
                        first = "row " + std::to_string(r) + " column " + std::to_string(c) + ": " + token;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "frame " << f.state << " in " << columns << " x " << rows << ", first at " << first;
    }
}

TEST_F(WineTest, ConsoleCellsEqualTheLinuxFrameToolWholeOrTheirCentre) {
    const std::vector<Frame> frames = {
        {"5,-20000,20,1,2,3,4,0", "--order 5 --time-ms -20000 --seconds 20 --pulse-a 1 --pulse-b 2 --pulse-c 3 "
                                  "--beat-count 4 --no-captions"},
        {"17,-50000,50,2,1,3,7,0", "--order 17 --time-ms -50000 --seconds 50 --pulse-a 2 --pulse-b 1 --pulse-c 3 "
                                   "--beat-count 7 --no-captions"},
        {"6,-31000,31,0,2,0,9,1", "--order 6 --time-ms -31000 --seconds 31 --pulse-b 2 --beat-count 9"},
        {"black", ""},
    };
    checkConsoleCells(folder, wineEnvironment(), frames, 80, 50);
    // A console that stays 120 x 30 (Wine's in a terminal of that size, with
    // no display for a window): the middle 30 rows, centred across.
    checkConsoleCells(folder, "-u DISPLAY " + wineEnvironment(), {frames[1]}, 120, 30);
}

// The correlation of the recording from frame `at` with the render from frame
// `from`, over `frames` frames; 2 when the render is silent there.
double correlation(const std::vector<std::int16_t>& recorded, const std::vector<std::int16_t>& reference,
                   std::int64_t at, std::int64_t from, std::int64_t frames) {
    if (at < 0 || (at + frames) * 2 > std::int64_t(recorded.size()) ||
        (from + frames) * 2 > std::int64_t(reference.size()))
        return 0.0;
    double rr = 0, ff = 0, rf = 0;
    for (std::int64_t i = 0; i < frames * 2; ++i) {
        const double r = recorded[std::size_t(at * 2 + i)], f = reference[std::size_t(from * 2 + i)];
        rr += r * r;
        ff += f * f;
        rf += r * f;
    }
    if (ff < double(frames) * 100.0) return 2.0;
    return rr > 0 ? rf / std::sqrt(rr * ff) : 0.0;
}

struct Following {
    int windows = 0;      // of the render that is not silent
    int matching = 0;     // of them, correlated above 0.99
    std::vector<double> gapsAt;  // seconds of the song where the recording fell behind
};

// Follows the render through the recording in windows of 4096 frames,
// letting the alignment drift by a few frames (on its way through Wine to
// the server the sound slips by a frame now and then) and finding it again
// after a gap.
Following follow(const std::vector<std::int16_t>& recorded, const std::vector<std::int16_t>& reference,
                 std::int64_t lag) {
    constexpr std::int64_t window = 4096;
    Following f;
    const std::int64_t end = std::min(std::int64_t(reference.size()), std::int64_t(recorded.size()) - lag * 2) / 2;
    for (std::int64_t from = 0; from + window <= end - 64; from += window) {
        auto best = [&](std::int64_t low, std::int64_t high) {
            double top = -1;
            std::int64_t where = lag;
            for (std::int64_t l = low; l <= high; ++l) {
                const double c = correlation(recorded, reference, from + l, from, window);
                if (c > top) top = c, where = l;
            }
            return std::pair{top, where};
        };
        auto [c, at] = best(lag - 16, lag + 16);
        if (c > 1.5) continue;  // silence in the render
        if (c < 0.99) {
            const auto [wide, wideAt] = best(lag + 17, lag + 44100 / 4);
            if (wide > c) {
                c = wide, at = wideAt;
                f.gapsAt.push_back(double(from) / 44100);
            }
        }
        ++f.windows;
        f.matching += c > 0.99;
        lag = at;
    }
    return f;
}

TEST_F(WineTest, ProgramShowsItsTitleAndPicturePlaysTheSongAndEndsOnEscape) {
    pulsetest::PulseServer server;
    if (!server.ok()) SKIP_OR_FAIL_ON_CI() << "no PulseAudio server: " << server.why();
    pulsetest::MonitorRecorder recorder(server);
    ASSERT_TRUE(recorder.ok());
    // The sink runs before Wine starts: Wine 8.0's PulseAudio driver, when its
    // stream's sink takes nothing at first (a null sink waiting out its first
    // block), keeps taking sound into its own full ring and plays the song
    // scrambled to the end (0 of 87 windows matching). That is Wine's fault,
    // met by every program through waveOut; the cold start of our own sound
    // is checked on Linux by the end-to-end sound test.
    ASSERT_TRUE(recorder.waitForData(10000));
    std::string environment;
    for (const std::string& entry : server.clientEnvironment()) environment += " " + shellQuote(entry);
    const Pane pane(windowsBuild(), "env " + wineEnvironment() + environment + " " + wine + " compofiller.exe");

    EXPECT_TRUE(waitFor([&] { return pane.title() == "Zembo - VRKT #12 - Compofiller!"; }, 30s))
        << "title: " << pane.title();
    // The beam lattice fades in over the first seconds; by 8 s it covers the
    // screen with glyphs.
    std::this_thread::sleep_for(8s);
    const std::string screen = pane.text();
    int drawn = 0;
    for (char c : screen) drawn += c != ' ' && c != '\n';
    EXPECT_GT(drawn, 400) << screen;
    pane.tmux("send-keys -t w Escape");
    EXPECT_TRUE(waitFor([&] { return !pane.exitStatus().empty(); }, 15s)) << pane.text();
    EXPECT_EQ(pane.exitStatus(), "0") << pane.text();
    const std::vector<std::int16_t> recorded = recorder.stop();

    const std::string wav = folder + "/song.wav";
    ASSERT_EQ(std::system((linuxBuild + "/compofiller-song wav " + shellQuote(windowsBuild() + "/QUILLOW3.oxm") +
                           " " + shellQuote(wav) + " --seconds 20")
                              .c_str()),
              0);
    const std::vector<std::int16_t> reference = recording::readWav16(wav.c_str());
    const recording::Comparison c = recording::compare(recorded, reference);
    ASSERT_TRUE(c.aligned) << "the song was not found in " << recorded.size() / 2 << " recorded frames";
    const Following f = follow(recorded, reference, c.lag);
    EXPECT_GT(f.windows, 40);
    // A busy machine may hold Wine back into a gap or two.
    EXPECT_GE(f.matching, f.windows * 9 / 10) << f.matching << " of " << f.windows << " windows";
    std::printf("%d of %d windows of the song above 0.99\n", f.matching, f.windows);
    for (double at : f.gapsAt) std::printf("gap at %.3f s of the song\n", at);
}

TEST_F(WineTest, MissingSongShowsAMessageBoxThatReturnCloses) {
    for (const char* tool : {"Xvfb", "xdotool"}) {
        if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
            SKIP_OR_FAIL_ON_CI() << tool << " is missing";
    }
    const xtest::XServer x("800x600x24");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    const std::string empty = folder + "/no-song";
    std::filesystem::create_directories(empty);
    // Started from a folder without the song, and a copy of the program
    // without one beside it.
    std::filesystem::copy_file(windowsBuild() + "/compofiller.exe", empty + "/compofiller.exe",
                               std::filesystem::copy_options::overwrite_existing);
    // A Wine session started without a display (the checks above) keeps
    // showing message boxes as text on stderr: end it, so that this program
    // starts one of its own on the X server.
    std::system(("env " + wineEnvironment() + " wineserver -k 2>/dev/null; env " + wineEnvironment() +
                 " wineserver -w").c_str());
    const std::string display = "DISPLAY=" + x.display();
    bool closed = false;
    const pulsetest::RunResult run = pulsetest::runProgram(
        {"env", "WINEPREFIX=" + prefix, "WINEDLLOVERRIDES=mscoree,mshtml=", "WINEDEBUG=-all", display, wine,
         empty + "/compofiller.exe"},
        {}, 60, 500,
        [&] {
            // Wine makes the box's window before it maps it, and focusing
            // it before then fails (BadMatch): retried until it takes.
            const std::string find = display + " xdotool search --onlyvisible --name 'Zembo suxx' 2>/dev/null";
            closed = waitFor(
                [&] {
                    std::string window = capture(find);
                    if (window.empty()) return false;
                    window = window.substr(0, window.find('\n'));
                    return std::system((display + " xdotool windowfocus --sync " + window +
                                        " key Return 2>/dev/null").c_str()) == 0;
                },
                30s);
        },
        empty);
    EXPECT_TRUE(closed) << "no message box appeared; stderr: " << run.err;
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Failed loading"), std::string::npos) << run.err;
}

bool windowTools(std::string& missing) {
    for (const char* tool : {"Xvfb", "xdotool", "import", "compare"}) {
        if (!xtest::onPath(tool)) {
            missing = std::string(tool) + " is missing";
            return false;
        }
    }
    return true;
}

// Ends the Wine session, so that the next program starts one on the display
// `environment` names (a session keeps the display it started with).
void restartWineOn(const std::string& environment) {
    std::system(("env " + environment + " wineserver -k 2>/dev/null; env " + environment + " wineserver -w").c_str());
}

// The X window of the demo's title on `display`, or "" (Wine, with no window
// manager, gives it exactly the client area).
std::string demoWindow(const std::string& display) {
    std::string id = capture("DISPLAY=" + display + " xdotool search --name 'Zembo - VRKT' 2>/dev/null");
    return id.substr(0, id.find('\n'));
}

// Pixels of the X window `window` unlike the picture `png` (ImageMagick's
// count), or -1 when the two cannot be compared (other sizes).
long wrongPixels(const std::string& display, const std::string& window, const std::string& png,
                 const std::string& folder) {
    const std::string shot = folder + "/window.png";
    const std::string count = capture("import -display " + display + " -window " + window + " " + shellQuote(shot) +
                                      " && compare -metric AE " + shellQuote(shot) + " " + shellQuote(png) +
                                      " null: 2>&1");
    char* end = nullptr;
    const double wrong = std::strtod(count.c_str(), &end);
    return end == count.c_str() || (*end != '\0' && *end != '\n') ? -1 : long(wrong);
}

TEST_F(WineTest, WindowShowsTheFramesAsTheLinuxFrameToolDrawsThemAtScalesOneAndTwo) {
    std::string missing;
    if (!windowTools(missing)) SKIP_OR_FAIL_ON_CI() << missing;
    const std::vector<Frame> frames = {
        {"17,-50000,50,2,1,3,7,0", "--order 17 --time-ms -50000 --seconds 50 --pulse-a 2 --pulse-b 1 --pulse-c 3 "
                                   "--beat-count 7 --no-captions"},
        {"5,-20000,20,1,2,3,4,0", "--order 5 --time-ms -20000 --seconds 20 --pulse-a 1 --pulse-b 2 --pulse-c 3 "
                                  "--beat-count 4 --no-captions"},
        {"6,-31000,31,0,2,0,9,1", "--order 6 --time-ms -31000 --seconds 31 --pulse-b 2 --beat-count 9"},
        {"black", "--order 41 --time-ms 0 --seconds 0 --no-captions"},
    };
    // The window opens at the largest whole scale the screen holds.
    for (const auto& [scale, screen] : {std::pair{1, "800x600x24"}, std::pair{2, "1400x1000x24"}}) {
        const xtest::XServer x(screen);
        ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
        const std::string run = folder + "/window-" + std::to_string(scale);
        std::filesystem::create_directories(run);
        const std::string environment = wineEnvironment() + " DISPLAY=" + x.display();
        restartWineOn(environment);
        std::string command = "env " + environment + " " + wine + " " +
                              shellQuote(windowsBuild() + "/compofiller-window-check.exe") + " " + shellQuote(run);
        for (const Frame& f : frames) command += " " + f.state;
        FILE* program = ::popen((command + " 2>&1").c_str(), "r");
        ASSERT_NE(program, nullptr);
        for (std::size_t n = 0; n < frames.size(); ++n) {
            const std::string index = std::to_string(n), png = run + "/expected-" + index + ".png";
            ASSERT_EQ(std::system((linuxBuild + "/compofiller-frame --format png --scale " + std::to_string(scale) +
                                   " --out " + shellQuote(png) + " " + frames[n].toolArgs)
                                      .c_str()),
                      0);
            ASSERT_TRUE(waitFor([&] { return xtest::exists(run + "/shown-" + index); }, 60s))
                << "frame " << n << " at scale " << scale << " never shown";
            // The frame reaches the X server a moment after it is presented.
            long wrong = -1;
            waitFor([&] { return (wrong = wrongPixels(x.display(), demoWindow(x.display()), png, run)) == 0; }, 5s);
            EXPECT_EQ(wrong, 0) << "frame " << frames[n].state << " at scale " << scale;
            std::ofstream(run + "/go-" + index) << "";
        }
        char line[512];
        std::string output;
        while (std::fgets(line, sizeof line, program) != nullptr) output += line;
        EXPECT_EQ(::pclose(program), 0) << output;
    }
}

TEST_F(WineTest, ProgramInASmallConsoleOpensItsWindowOrWithoutADisplayShowsTheCentre) {
    std::string missing;
    if (!windowTools(missing)) SKIP_OR_FAIL_ON_CI() << missing;
    {
        const xtest::XServer x("800x600x24");
        ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
        const std::string environment = wineEnvironment() + " DISPLAY=" + x.display();
        restartWineOn(environment);
        const Pane pane(windowsBuild(), "env " + environment + " " + wine + " compofiller.exe", 120, 30);
        std::string window;
        EXPECT_TRUE(waitFor([&] { return !(window = demoWindow(x.display())).empty(); }, 30s)) << pane.text();
        EXPECT_TRUE(waitFor([&] { return pane.text().find("shows in a window of its own") != std::string::npos; }, 10s))
            << pane.text();
        // The beam lattice fades in: the window is far from black within seconds.
        const std::string black = folder + "/black.png";
        std::system(("convert -size 640x400 xc:black " + shellQuote(black)).c_str());
        long lit = 0;
        EXPECT_TRUE(waitFor([&] { return (lit = wrongPixels(x.display(), window, black, folder)) > 10000; }, 15s))
            << lit << " pixels lit";
        std::system(("DISPLAY=" + x.display() + " xdotool key --window " + window + " Escape").c_str());
        EXPECT_TRUE(waitFor([&] { return !pane.exitStatus().empty(); }, 20s)) << pane.text();
        EXPECT_EQ(pane.exitStatus(), "0") << pane.text();
    }
    // No display: the console shows the centre of the grid (where it lands
    // is checked cell by cell above) and says why at the end.
    restartWineOn("-u DISPLAY " + wineEnvironment());
    const Pane pane(windowsBuild(), "env -u DISPLAY " + wineEnvironment() + " " + wine + " compofiller.exe", 120, 30);
    EXPECT_TRUE(waitFor(
        [&] {
            const std::string text = pane.text();
            return std::count_if(text.begin(), text.end(), [](char c) { return c != ' ' && c != '\n'; }) > 600;
        },
        20s))
        << pane.text();
    pane.tmux("send-keys -t w Escape");
    EXPECT_TRUE(waitFor([&] { return !pane.exitStatus().empty(); }, 15s)) << pane.text();
    EXPECT_EQ(pane.exitStatus(), "0") << pane.text();
    std::string said = pane.text();
    said.erase(std::remove(said.begin(), said.end(), '\n'), said.end());
    EXPECT_NE(said.find("(it was 120 x 30) and there was no desktop to open a window on, so only the centre of the "
                        "picture was shown"),
              std::string::npos)
        << pane.text();
}

}  // namespace
