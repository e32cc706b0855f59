// The program end to end in a real terminal: tmux on a private socket runs
// build/compofiller (paced, as it runs by default) in a temporary folder
// beside a short song, and the screen is read back with capture-pane.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/common/cp437.h"
#include "tests/support/ci_skip.h"
#include "tests/support/shell.h"
#include "tests/support/terminal_grid.h"
#include "tests/support/xm_test_modules.h"

namespace {

using shelltest::capture;
using shelltest::readText;
using shelltest::shellQuote;

using namespace std::chrono_literals;

const std::string program = COMPOFILLER_BUILD_DIR "/compofiller";
const std::string demoTitle = "Zembo - VRKT #12 - Compofiller!";

// A song that passes order 40 in under two seconds: 41 orders of one row at
// 40 ms a row, then a long last order so that the frame loop surely sees 41.
std::string writeShortSong(const std::string& folder) {
    xm::Module module = testmodules::emptyModule(1, 1, 2, 1, 2, 125);
    module.patterns[1] = xm::Pattern(64, 1);
    module.orders.assign(41, 0);
    module.orders.push_back(1);
    testmodules::put(module, 0, 0, 0, 49, 1);
    return testmodules::writeModule(module, folder, "QUILLOW3.oxm");
}

// A song that reaches order 4 (a flat scene that fills the grid) at once and
// then takes seconds per order.
std::string writeLongSong(const std::string& folder) {
    xm::Module module = testmodules::emptyModule(1, 1, 2, 1, 2, 125);
    module.patterns[1] = xm::Pattern(64, 1);
    module.orders.assign(4, 0);
    module.orders.resize(42, 1);
    return testmodules::writeModule(module, folder, "QUILLOW3.oxm");
}

// One tmux server of our own, with one pane running the demo in `folder`. The
// shell around the demo prints its exit status and whether the terminal's
// input modes came back, then waits, so the pane can be inspected.
class DemoPane {
public:
    // With `interactiveShell`, the pane runs an interactive bash with job
    // control instead, and the test types the commands.
    DemoPane(const std::string& folder, int rows, int columns, const std::string& redirect = "",
             bool interactiveShell = false, const std::string& programPath = program) {
        static int counter = 0;
        socket_ = "cf-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const std::string conf = folder + "/tmux.conf";
        std::ofstream(conf) << "set -g escape-time 0\n"
                               "set -g status off\n"
                               "set -g default-terminal tmux-256color\n"
                               "set -g remain-on-exit on\n";
        // The shell outlives a Ctrl-C that interrupts the demo.
        const std::string script = "trap : INT; before=$(stty -g); " + shellQuote(programPath) + redirect +
                                   "; status=$?; after=$(stty -g); "
                                   "if [ \"$before\" = \"$after\" ]; then echo modes-kept; fi; "
                                   "echo exit-status-$status; exec sleep 60";
        const std::string command = interactiveShell ? "bash --norc --noprofile -i" : "sh -c " + shellQuote(script);
        tmux("-f " + shellQuote(conf) + " new-session -d -s demo -x " + std::to_string(columns) + " -y " +
             std::to_string(rows) + " -c " + shellQuote(folder) + " " + shellQuote(command));
    }
    ~DemoPane() { tmux("kill-server"); }

    std::string tmux(const std::string& args) const {
        return capture("tmux -L " + socket_ + " " + args + " 2>/dev/null");
    }
    std::string show(const std::string& format) const {
        std::string out = tmux("display-message -p -t demo " + shellQuote(format));
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }
    std::string text() const { return tmux("capture-pane -p -t demo"); }
    // The screen with colours and trailing blanks, fed to a test terminal.
    testterm::TerminalGrid grid(int rows, int columns, int* lines = nullptr) const {
        const std::string screen = tmux("capture-pane -p -e -N -t demo");
        if (lines != nullptr) *lines = static_cast<int>(std::count(screen.begin(), screen.end(), '\n'));
        return testterm::shownLines(screen, rows, columns);
    }
    bool running() const { return show("#{alternate_on}") == "1"; }
    bool ended() const { return text().find("exit-status-") != std::string::npos; }
    std::string exitStatus() const {
        const std::string t = text();
        const auto at = t.find("exit-status-");
        if (at == std::string::npos) return "";
        return t.substr(at + 12, t.find('\n', at) - at - 12);
    }
    // The demo ended with `status` and gave the terminal back: its input
    // modes as they were, the main screen, the cursor shown.
    void expectGivenBack(const std::string& status) const {
        EXPECT_EQ(exitStatus(), status);
        EXPECT_NE(text().find("modes-kept"), std::string::npos) << text();
        EXPECT_EQ(show("#{alternate_on}"), "0");
        EXPECT_EQ(show("#{cursor_flag}"), "1");
    }
    // The demo's own process: the child of the pane's shell.
    pid_t demoPid() const {
        std::ifstream children("/proc/" + show("#{pane_pid}") + "/task/" + show("#{pane_pid}") + "/children");
        pid_t pid = 0;
        children >> pid;
        return pid;
    }

private:
    std::string socket_;
};

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

bool isPicture(char32_t c) {
    if (c == U' ') return true;
    for (char32_t p : cp437ToUnicode) {
        if (p == c) return true;
    }
    return false;
}

// Every cell of the pane shows a code page 437 picture on true black (the
// cube's or RGB black, never the theme's colour 0), or nothing.
void expectOnlyPictures(const testterm::TerminalGrid& term, int* drawn) {
    *drawn = 0;
    for (int r = 0; r < term.rows(); ++r) {
        for (int c = 0; c < term.columns(); ++c) {
            const testterm::Cell cell = term.at(r, c);
            EXPECT_TRUE(isPicture(cell.ch)) << "row " << r << " column " << c << ": U+" << std::hex
                                             << static_cast<unsigned>(cell.ch);
            if (cell.ch != U' ') {
                ++*drawn;
                EXPECT_TRUE(cell.background == 16 || cell.background == testterm::rgbColour(0)) << cell.background;
            }
        }
    }
}

// Nothing a sanitizer build of the program would report.
void expectNoSanitizerReport(const std::string& output) {
    EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
    EXPECT_EQ(output.find("runtime error"), std::string::npos) << output;
}

// A copy of the program in a folder of its own, with no song beside it or in
// a data folder near it.
std::string programWithoutSong(const std::string& folder) {
    const std::string alone = folder + "/alone/bin";
    capture("mkdir -p " + shellQuote(alone) + " && cp " + shellQuote(program) + " " + shellQuote(alone));
    return alone + "/compofiller";
}

bool haveTmux() { return capture("command -v tmux").find("tmux") != std::string::npos; }

}  // namespace

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTmux()) SKIP_OR_FAIL_ON_CI() << "tmux is not installed";
        folder = testmodules::makeTempFolder("cf-e2e");
    }
    void TearDown() override {
        if (!folder.empty()) capture("rm -rf " + shellQuote(folder));
    }
    std::string folder;
};

TEST_F(EndToEnd, PlaysThroughTheSongAndHandsTheTerminalBack) {
    writeShortSong(folder);
    DemoPane pane(folder, 50, 80);
    ASSERT_TRUE(waitFor([&] { return pane.running() || pane.ended(); }, 5s)) << pane.text();
    EXPECT_EQ(pane.show("#{pane_title}"), demoTitle);
    EXPECT_EQ(pane.show("#{cursor_flag}"), "0");

    int mostDrawn = 0;
    waitFor([&] {
        if (!pane.running()) return true;
        int lines = 0;
        const testterm::TerminalGrid term = pane.grid(50, 80, &lines);
        if (!pane.running()) return true;  // the capture may show the end already
        EXPECT_EQ(lines, 50);
        int drawn = 0;
        expectOnlyPictures(term, &drawn);
        mostDrawn = std::max(mostDrawn, drawn);
        return false;
    }, 15s);
    EXPECT_GT(mostDrawn, 400) << "the scenes drew over the grid";

    ASSERT_TRUE(waitFor([&] { return pane.ended(); }, 15s)) << pane.text();
    pane.expectGivenBack("0");
    EXPECT_EQ(pane.text().find("smaller than 80 x 50"), std::string::npos);
    expectNoSanitizerReport(pane.text());
}

TEST_F(EndToEnd, EscEndsTheDemoWithinAFrame) {
    writeLongSong(folder);
    DemoPane pane(folder, 50, 80);
    ASSERT_TRUE(waitFor([&] { return pane.running(); }, 5s)) << pane.text();
    std::this_thread::sleep_for(300ms);
    pane.tmux("send-keys -t demo Escape");
    ASSERT_TRUE(waitFor([&] { return pane.ended(); }, 3s)) << "still running after Esc";
    pane.expectGivenBack("0");
    expectNoSanitizerReport(pane.text());
}

TEST_F(EndToEnd, ArrowKeysDoNotEndTheDemo) {
    writeLongSong(folder);
    DemoPane pane(folder, 50, 80);
    ASSERT_TRUE(waitFor([&] { return pane.running(); }, 5s)) << pane.text();
    pane.tmux("send-keys -t demo Up Down F5 M-x");
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(pane.running());
    pane.tmux("send-keys -t demo Escape");
    EXPECT_TRUE(waitFor([&] { return pane.ended(); }, 3s));
}

TEST_F(EndToEnd, EndingAndFatalSignalsRestoreTheTerminal) {
    for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGSEGV}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        writeLongSong(folder);
        DemoPane pane(folder, 50, 80);
        ASSERT_TRUE(waitFor([&] { return pane.running(); }, 5s)) << pane.text();
        const pid_t pid = pane.demoPid();
        ASSERT_GT(pid, 0);
        ::kill(pid, signal);
        ASSERT_TRUE(waitFor([&] { return pane.ended(); }, 3s)) << pane.text();
        pane.expectGivenBack(std::to_string(128 + signal));
    }
}

TEST_F(EndToEnd, CtrlCStillInterrupts) {
    writeLongSong(folder);
    DemoPane pane(folder, 50, 80);
    ASSERT_TRUE(waitFor([&] { return pane.running(); }, 5s)) << pane.text();
    pane.tmux("send-keys -t demo C-c");
    ASSERT_TRUE(waitFor([&] { return pane.ended(); }, 3s)) << pane.text();
    pane.expectGivenBack(std::to_string(128 + SIGINT));
}

TEST_F(EndToEnd, CtrlZHandsTheTerminalBackUntilResumed) {
    writeLongSong(folder);
    DemoPane pane(folder, 50, 80, "", true);
    pane.tmux("send-keys -t demo " + shellQuote(program) + " Enter");
    ASSERT_TRUE(waitFor([&] { return pane.running(); }, 5s)) << pane.text();
    pane.tmux("send-keys -t demo C-z");
    ASSERT_TRUE(waitFor([&] { return pane.text().find("Stopped") != std::string::npos; }, 3s)) << pane.text();
    EXPECT_EQ(pane.show("#{alternate_on}"), "0");
    EXPECT_EQ(pane.show("#{cursor_flag}"), "1");
    pane.tmux("send-keys -t demo fg Enter");
    ASSERT_TRUE(waitFor([&] { return pane.running(); }, 3s)) << pane.text();
    EXPECT_EQ(pane.show("#{cursor_flag}"), "0");
    pane.tmux("send-keys -t demo Escape");
    EXPECT_TRUE(waitFor([&] { return !pane.running(); }, 3s));
    EXPECT_EQ(pane.show("#{cursor_flag}"), "1");
}

TEST_F(EndToEnd, MissingSongShowsTheMessageAndExitsWithOne) {
    DemoPane pane(folder, 50, 80, "", false, programWithoutSong(folder));
    ASSERT_TRUE(waitFor([&] { return pane.text().find("Failed loading Protracker-Module") != std::string::npos; }, 5s))
        << pane.text();
    const std::string box = pane.text();
    EXPECT_NE(box.find("Error! Zembo suxx!"), std::string::npos);
    EXPECT_NE(box.find("OK"), std::string::npos);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(pane.ended()) << "the box waits for a key";
    pane.tmux("send-keys -t demo Enter");
    ASSERT_TRUE(waitFor([&] { return pane.ended(); }, 3s)) << pane.text();
    pane.expectGivenBack("1");
    EXPECT_NE(pane.text().find("Error! Zembo suxx!: Failed loading Protracker-Module"), std::string::npos)
        << "the message stays readable after the end";
}

TEST_F(EndToEnd, SmallTerminalShowsTheCentreOfTheGrid) {
    // A flat scene that fills the grid for seconds, so that a loaded machine
    // cannot miss it.
    writeLongSong(folder);
    DemoPane pane(folder, 20, 60);
    ASSERT_TRUE(waitFor([&] { return pane.running(); }, 5s)) << pane.text();
    int mostDrawn = 0;
    waitFor([&] {
        int lines = 0;
        const testterm::TerminalGrid term = pane.grid(20, 60, &lines);
        EXPECT_EQ(lines, 20);
        int drawn = 0;
        expectOnlyPictures(term, &drawn);
        mostDrawn = std::max(mostDrawn, drawn);
        return mostDrawn > 100;
    }, 8s);
    EXPECT_GT(mostDrawn, 100);
    pane.tmux("send-keys -t demo Escape");
    ASSERT_TRUE(waitFor([&] { return pane.ended(); }, 5s)) << pane.text();
    EXPECT_EQ(pane.exitStatus(), "0");
    EXPECT_NE(pane.text().find("compofiller: the terminal was smaller than 80 x 50"), std::string::npos)
        << "says what was cut off, after the hand-back: " << pane.text();
}

TEST_F(EndToEnd, FollowsTheTerminalWhenItGrows) {
    writeLongSong(folder);
    DemoPane pane(folder, 20, 60);
    ASSERT_TRUE(waitFor([&] { return pane.running(); }, 5s)) << pane.text();
    pane.tmux("resize-window -t demo -x 80 -y 50");
    // The whole grid shows once the picture reaches the rows a 20-row
    // terminal could not show.
    const bool grown = waitFor([&] {
        const testterm::TerminalGrid term = pane.grid(50, 80);
        int drawn = 0;
        expectOnlyPictures(term, &drawn);
        for (int c = 0; c < 80; ++c) {
            if (term.at(49, c).ch != U' ' || term.at(0, c).ch != U' ') return true;
        }
        return false;
    }, 8s);
    EXPECT_TRUE(grown) << pane.text();
    pane.tmux("send-keys -t demo Escape");
    ASSERT_TRUE(waitFor([&] { return pane.ended(); }, 3s)) << pane.text();
    EXPECT_EQ(pane.exitStatus(), "0");
}

TEST_F(EndToEnd, OutputToAFileGetsNoFrames) {
    writeShortSong(folder);
    const int status = std::system(("cd " + shellQuote(folder) + " && timeout 30 " + shellQuote(program) +
                                    " > out.txt 2> err.txt < /dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::ifstream out(folder + "/out.txt", std::ios::binary);
    std::stringstream written;
    written << out.rdbuf();
    EXPECT_EQ(written.str(), "");
    std::ifstream err(folder + "/err.txt");
    std::stringstream messages;
    messages << err.rdbuf();
    expectNoSanitizerReport(messages.str());
}

TEST_F(EndToEnd, PlaysAModuleNamedOnTheCommandLineBackToBack) {
    const std::string song = writeShortSong(folder);
    const std::string named = folder + "/other name.xm";
    ASSERT_EQ(std::rename(song.c_str(), named.c_str()), 0);
    DemoPane pane(folder, 50, 80, " --fps 0 --stats " + shellQuote(named));
    ASSERT_TRUE(waitFor([&] { return pane.ended(); }, 20s)) << pane.text();
    EXPECT_EQ(pane.exitStatus(), "0") << pane.text();
    EXPECT_NE(pane.text().find("0 late;"), std::string::npos) << "back to back, no frame has a deadline: " << pane.text();
    expectNoSanitizerReport(pane.text());
}

TEST_F(EndToEnd, MissingSongWithoutATerminalReportsOnStderrAtOnce) {
    const int status = std::system(("cd " + shellQuote(folder) + " && timeout 10 " + shellQuote(programWithoutSong(folder)) +
                                    " > out.txt 2> err.txt < /dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream err(folder + "/err.txt");
    std::stringstream message;
    message << err.rdbuf();
    EXPECT_NE(message.str().find("Error! Zembo suxx!: Failed loading Protracker-Module\n"), std::string::npos)
        << message.str();
    expectNoSanitizerReport(message.str());
}
