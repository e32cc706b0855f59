// The demo as people run it, with sound: build/compofiller in a tmux pane of
// 80 x 50 (a private tmux socket), playing to a private PulseAudio or
// PipeWire server with a null sink whose monitor is recorded at the server's
// default latency, the recorder not waited on. Started at once, 0.9 s and
// 1.6 s after the server answers, the recording is the song from its start;
// the screen shows the caption of the order the song is at; a server killed
// and started again mid-song gets the sound back in step and the exit line
// says so; Esc ends it with status 0 and the terminal's modes restored.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "art/captions.h"
#include "platform/sound/offline.h"
#include "tests/support/ci_skip.h"
#include "tests/support/pulse_server.h"
#include "tests/support/recording_compare.h"
#include "tests/support/shell.h"
#include "tests/support/terminal_grid.h"
#include "tests/support/xm_test_modules.h"

namespace {

using shelltest::capture;
using shelltest::readText;
using shelltest::shellQuote;

using namespace std::chrono_literals;

constexpr double rate = 44100.0;
const std::string program = COMPOFILLER_BUILD_DIR "/compofiller";

xm::Module song() { return testmodules::captionOrdersSong(); }

// How well the screen shows a caption, best over the shifts the beat pulses
// give it: letter cells that are white blocks less outline cells that are.
double captionScore(const testterm::TerminalGrid& grid, const std::int32_t* bitmap, int width, int top, int left) {
    double best = -1;
    for (int dr = -5; dr <= 5; ++dr) {
        for (int dc = -5; dc <= 5; ++dc) {
            int letters = 0, lit = 0, outline = 0, litOutline = 0;
            for (int r = 0; r < captionHeight; ++r) {
                for (int k = 0; k < width; ++k) {
                    const int row = top + dr + r, column = left + dc + k;
                    if (row < 0 || row >= 50 || column < 0 || column >= 80) continue;
                    const bool block = grid.at(row, column).ch == U'\u2588';
                    if (bitmap[r * width + k] == 1) {
                        ++letters;
                        lit += block;
                    } else if (bitmap[r * width + k] == 0) {
                        ++outline;
                        litOutline += block;
                    }
                }
            }
            if (letters == 0 || outline == 0) continue;
            best = std::max(best, double(lit) / letters - double(litOutline) / outline);
        }
    }
    return best;
}

// Which of the captions of orders 2, 4 and 6 the screen shows, or -1.
int captionOrder(const testterm::TerminalGrid& grid) {
    const double scores[3] = {captionScore(grid, caption1, caption1Width, 3, 39),
                              captionScore(grid, caption4, caption4Width, 34, 46),
                              captionScore(grid, caption5, caption5Width, 34, 2)};
    const int best = int(std::max_element(scores, scores + 3) - scores);
    return scores[best] > 0.8 ? 2 + 2 * best : -1;
}

struct Screen {
    std::int64_t nanos = 0;
    testterm::TerminalGrid grid;
};

// Where in the reference the recording's first loud stretch after `from`
// is, as (recording frame, reference frame); (-1, -1) when it is not there.
std::pair<std::int64_t, std::int64_t> locate(const std::vector<std::int16_t>& rec,
                                             const std::vector<std::int16_t>& ref, std::int64_t from) {
    std::int64_t j = from;
    const auto recFrames = static_cast<std::int64_t>(rec.size() / 2);
    const auto refFrames = static_cast<std::int64_t>(ref.size() / 2);
    while (j < recFrames && std::abs(rec[2 * j]) < 300) ++j;
    j += 2048;  // past the first samples after the gap
    if (j + 1024 > recFrames) return {-1, -1};
    for (std::int64_t i = 0; i + 1024 < refFrames; ++i) {
        std::int64_t k = 0;
        while (k < 1024 && std::abs(rec[2 * (j + k)] - ref[2 * (i + k)]) <= 3 &&
               std::abs(rec[2 * (j + k) + 1] - ref[2 * (i + k) + 1]) <= 3) {
            ++k;
        }
        if (k == 1024) return {j, i};
    }
    return {-1, -1};
}

enum class ServerKind { pulse, pipewire };

class SoundEndToEnd : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        if (capture("command -v tmux").find("tmux") == std::string::npos) SKIP_OR_FAIL_ON_CI() << "tmux is not installed";
        if (GetParam() == ServerKind::pulse) {
            server = std::make_unique<pulsetest::PulseServer>();
        } else {
            server = std::make_unique<pulsetest::PipeWireServer>();
        }
        if (!server->ok()) SKIP_OR_FAIL_ON_CI() << "no private sound server: " << server->why();
        serverReady = pulsetest::steadyNanos();
        folder = testmodules::makeTempFolder("cf-e2e-sound");
        const xm::Module module = song();
        const std::string path = testmodules::writeModule(module, folder, "QUILLOW3.oxm");
        sound::RenderOptions options;
        options.seconds = 14;
        options.demoEqualisers = true;
        reference = sound::renderFile(path, options);
        ASSERT_TRUE(reference.loaded);
        referencePcm = recording::toPcm16(reference.audio);
        socket = "cf-e2e-sound-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    }
    void TearDown() override {
        if (!socket.empty()) tmux("kill-server");
        server.reset();
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }

    std::string tmux(const std::string& args) const {
        return capture("tmux -L " + socket + " " + args + " 2>/dev/null");
    }
    std::string paneText() const { return tmux("capture-pane -p -t demo"); }

    // Starts the demo in the pane, its stderr to a file; the shell reports
    // whether the terminal's modes came back and the exit status.
    void startDemo() {
        std::string env;
        // No SDL_AUDIODRIVER: the driver the program picks for itself.
        for (const std::string& e : server->clientEnvironment("")) env += " " + shellQuote(e);
        const std::string script = "before=$(stty -g); env" + env + " " + shellQuote(program) + " 2>" +
                                   shellQuote(folder + "/stderr") +
                                   "; status=$?; after=$(stty -g); "
                                   "if [ \"$before\" = \"$after\" ]; then echo modes-kept; fi; "
                                   "echo exit-status-$status; exec sleep 60";
        const std::string conf = folder + "/tmux.conf";
        std::ofstream(conf) << "set -g escape-time 0\nset -g status off\n"
                               "set -g default-terminal tmux-256color\nset -g remain-on-exit on\n";
        tmux("-f " + shellQuote(conf) + " new-session -d -s demo -x 80 -y 50 -c " + shellQuote(folder) + " " +
             shellQuote("sh -c " + shellQuote(script)));
    }

    // Screens every 200 ms until `until` (steady nanoseconds); `at` runs
    // once when its moment comes.
    void watch(std::int64_t until, std::int64_t atNanos = 0, const std::function<void()>& at = {}) {
        bool done = !at;
        while (pulsetest::steadyNanos() < until) {
            if (!done && pulsetest::steadyNanos() >= atNanos) {
                at();
                done = true;
            }
            const std::int64_t nanos = pulsetest::steadyNanos();
            screens.push_back({nanos, testterm::shownLines(tmux("capture-pane -p -e -N -t demo"), 50, 80)});
            std::this_thread::sleep_for(200ms);
        }
    }

    // The PipeWire graph's objects as pw-dump gives them (JSON); empty on
    // PulseAudio.
    std::string playingClients() const {
        if (GetParam() != ServerKind::pipewire) return "";
        std::string env;
        for (const std::string& e : server->clientEnvironment("")) env += " " + shellQuote(e);
        return capture("env" + env + " pw-dump 2>/dev/null");
    }

    // Esc ends the demo: status 0, the terminal's modes back.
    void endWithEscape() {
        tmux("send-keys -t demo Escape");
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (paneText().find("exit-status-") == std::string::npos && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(50ms);
        }
        const std::string text = paneText();
        EXPECT_NE(text.find("exit-status-0"), std::string::npos) << text;
        EXPECT_NE(text.find("modes-kept"), std::string::npos) << "the terminal's modes were not restored";
        EXPECT_NE(tmux("display-message -p -t demo '#{alternate_on}'"), "1\n") << "still on the alternate screen";
    }

    // Where the song's orders 2, 4 and 6 start and end (seconds).
    std::pair<double, double> orderSpan(int order) const { return recording::orderSpan(reference, order); }

    // The captions of orders 2, 4 and 6 show when the song is at that
    // order, by the song's clock as the pictures keep it: from the first
    // screen with caption 2. A recorder at the default latency cannot time
    // the sound closely enough to hold that clock against (its pieces come
    // late by up to 1.6 s, and a null sink's monitor has the sound before
    // its own clock says it plays): how far the pictures are from the
    // recording's clock (`songStart`, steady nanoseconds) is only printed.
    std::string captionProblems(std::int64_t songStart, double slack = 0.25) {
        double pictureStart = -1;
        for (const Screen& s : screens) {
            if (captionOrder(s.grid) == 2) {
                pictureStart = s.nanos / 1e9 - orderSpan(2).first;
                break;
            }
        }
        if (pictureStart < 0) return "caption 2 was never shown";
        std::printf("pictures %+.0f ms after the recording\n", (pictureStart - songStart / 1e9) * 1000);
        std::string problems;
        for (int order : {2, 4, 6}) {
            const auto [begin, end] = orderSpan(order);
            int shownWithin = 0, shownOutside = 0;
            for (const Screen& s : screens) {
                const double at = s.nanos / 1e9 - pictureStart;
                if (captionOrder(s.grid) != order) continue;
                (at > begin - slack && at < end + slack ? shownWithin : shownOutside) += 1;
            }
            if (shownWithin < 2) problems += "order " + std::to_string(order) + " was not shown in time; ";
            if (shownOutside > 0) problems += "order " + std::to_string(order) + " was shown out of time; ";
        }
        return problems;
    }

    // Starts the demo `delayMs` after the server answered and plays 10.5 s:
    // the song is heard from its start with no gap, and the pictures follow
    // it. A freshly started null sink can take up to 2 s to start playing,
    // and the pictures wait for the sound, so the watch runs until order 6
    // (5.76 to 6.72 s of the song) has surely been shown.
    void startAfter(int delayMs) {
        const double songSeconds = 5.5;
        pulsetest::MonitorRecorder recorder(*server, 0);
        ASSERT_TRUE(recorder.ok());
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::nanoseconds(serverReady + delayMs * 1000000LL)));
        startDemo();
        std::string graph;
        const std::int64_t started = pulsetest::steadyNanos();
        watch(started + 10'500'000'000LL, started + 3'000'000'000LL, [&] { graph = playingClients(); });
        endWithEscape();
        std::this_thread::sleep_for(300ms);
        const std::vector<std::int16_t> recorded = recorder.stop();
        EXPECT_EQ(readText(folder + "/stderr"), "");
        // On PipeWire the demo plays through SDL's own PipeWire driver,
        // which alone reads the cycle it asks for (pipewire-pulse's
        // clients never do).
        if (GetParam() == ServerKind::pipewire) {
            EXPECT_NE(graph.find("\"node.force-quantum\": 1024"), std::string::npos)
                << "the demo does not play through SDL's PipeWire driver";
        }
        // The song's first 5.5 s: all of it had reached the recorder when
        // it stopped (at the default latency the recorder is given the
        // sound a second or more late).
        const std::vector<std::int16_t> head(referencePcm.begin(),
                                             referencePcm.begin() + std::int64_t(songSeconds * rate) * 2);
        const recording::Comparison c = recording::compare(recorded, head);
        ASSERT_TRUE(c.aligned) << "the recording is silent";
        ASSERT_GE(c.lag, 0) << "the song started before the recording";
        for (const recording::Dropout& d : c.dropouts) {
            std::printf("dropout at %.3f s of the song, moved by %+.1f ms\n", d.referenceFrame / rate,
                        d.skippedFrames * 1000 / rate);
        }
        EXPECT_GE(c.comparedFrames, std::int64_t(songSeconds * rate) - 1) << "the song is short in the recording";
        EXPECT_TRUE(c.dropouts.empty()) << "the sound dropped out";
        EXPECT_EQ(captionProblems(recorder.frameZeroNanos() + std::int64_t(c.lag * 1e9 / rate)), "");
    }

    std::unique_ptr<pulsetest::SoundServer> server;
    std::int64_t serverReady = 0;
    std::string folder;
    std::string socket;
    sound::RenderResult reference;
    std::vector<std::int16_t> referencePcm;
    std::vector<Screen> screens;
    static inline int counter = 0;
};

TEST_P(SoundEndToEnd, StartedAtOnceHasSoundFromTheStart) { startAfter(0); }
TEST_P(SoundEndToEnd, StartedAfterNineTenthsHasSoundFromTheStart) { startAfter(900); }
TEST_P(SoundEndToEnd, StartedAfterOnePointSixHasSoundFromTheStart) { startAfter(1600); }

TEST_P(SoundEndToEnd, ServerKilledAndRestartedGetsTheSoundBackInStep) {
    auto recorder = std::make_unique<pulsetest::MonitorRecorder>(*server, 0);
    startDemo();
    const std::int64_t started = pulsetest::steadyNanos();
    std::unique_ptr<pulsetest::MonitorRecorder> after;
    std::int64_t restarted = 0;
    std::vector<std::int16_t> before;
    watch(started + 3'000'000'000LL);
    server->kill();
    before = recorder->stop();
    watch(started + 4'000'000'000LL);
    ASSERT_TRUE(server->restart()) << server->why();
    restarted = pulsetest::steadyNanos();
    after = std::make_unique<pulsetest::MonitorRecorder>(*server, 0);
    watch(started + 10'500'000'000LL);
    endWithEscape();
    std::this_thread::sleep_for(300ms);
    const std::vector<std::int16_t> back = after->stop();

    const recording::Comparison c = recording::compare(before, referencePcm);
    ASSERT_TRUE(c.aligned) << "no sound before the kill";
    const std::int64_t songStart = recorder->frameZeroNanos() + std::int64_t(c.lag * 1e9 / rate);
    const auto [recFrame, songFrame] = locate(back, referencePcm, 0);
    ASSERT_GE(recFrame, 0) << "the sound did not come back after the restart";
    const double heardAt = (after->frameZeroNanos() + recFrame * 1e9 / rate - songStart) / 1e9;
    std::printf("sound back %.2f s after the restart, %+.0f ms off the song's time\n",
                (after->frameZeroNanos() + recFrame * 1e9 / rate - restarted) / 1e9 - 2048 / rate,
                (heardAt - songFrame / rate) * 1000);
    // Both recordings are timed alike, within a few hundred milliseconds.
    EXPECT_NEAR(heardAt, songFrame / rate, 0.5) << "the sound came back out of step";
    // The pictures follow the sound, so after the restart they may be as far
    // off the first recording's time as the sound is allowed to be. SDL's
    // PipeWire driver never reports the server gone: until the stall watch
    // takes the song over (1 s) the pictures wait for sound, then catch up.
    EXPECT_EQ(captionProblems(songStart, GetParam() == ServerKind::pipewire ? 1.2 : 0.6), "");
    int stopped = -1, back1 = -1, back2 = -1, back3 = -1;
    const std::string err = readText(folder + "/stderr");
    EXPECT_EQ(std::sscanf(err.c_str(), "The song played without sound: from 0:%d to %d:%d of the song (the audio "
                          "device %*[a-z ], then it came back%n",
                          &stopped, &back1, &back2, &back3),
              3)
        << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

INSTANTIATE_TEST_SUITE_P(Servers, SoundEndToEnd, ::testing::Values(ServerKind::pulse, ServerKind::pipewire),
                         [](const auto& info) { return info.param == ServerKind::pulse ? "PulseAudio" : "PipeWire"; });

}  // namespace
