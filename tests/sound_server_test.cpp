// The live output through a real PulseAudio server (private, with a null
// sink, started and stopped by each test) and SDL's pulseaudio driver: a
// recording of the sink equals the offline render with no gap, also with two
// busy loops on the cores; orders and callbacks arrive when the recording has
// them (or shifted by the event delay); a server killed mid-song leaves the
// song going on in time, and the program says so on exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/offline.h"
#include "tests/support/ci_skip.h"
#include "tests/support/pulse_server.h"
#include "tests/support/recording_compare.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;

namespace {

// Under ThreadSanitizer the program runs several times slower: these tests
// then look for races and check what the program says, not its timing.
#if defined(__SANITIZE_THREAD__)
constexpr bool timed = false;
#else
constexpr bool timed = true;
#endif

constexpr double rate = 44100.0;
constexpr double bufferMs = 1024 * 1000.0 / rate;
// A callback may come up to one device buffer after the sound, plus the
// server's latency: the sink's (about 8 ms) and the recording's (10 ms).
constexpr double lateLimitMs = bufferMs + 20.0;
constexpr double earlyLimitMs = 12.0;

// Eight orders of eight rows at speed 3, tempo 125 (0.48 s each, 3.84 s in
// all): a melody that never repeats within the song on channel 1 (instrument
// 1), a second voice twice per order on channel 2 (instrument 2).
std::vector<std::uint8_t> probeSong() {
    auto module = testmodules::emptyModule(2, 2, 8, 8, 3, 125);
    for (int p = 0; p < 8; ++p) {
        for (int r = 0; r < 8; ++r) put(module, p, r, 0, 37 + ((p * 8 + r) * 5) % 29, 1);
        put(module, p, 0, 1, 61, 2);
        put(module, p, 4, 1, 66 - p, 2);
    }
    return testmodules::bytes(module);
}

struct ProbeRun {
    pulsetest::RunResult run;
    std::int64_t play = 0;
    std::int64_t offDevice = 0;
    std::int64_t underrun = -1;
    int latency = 0;
    bool onDevice = false;
    std::vector<std::pair<std::int64_t, int>> orders;    // nanos, order
    std::vector<std::pair<std::int64_t, int>> triggers;  // nanos, instrument
};

ProbeRun parseProbe(const pulsetest::RunResult& run) {
    ProbeRun probe;
    probe.run = run;
    std::istringstream lines(run.out);
    std::string word;
    while (lines >> word) {
        long long a = 0;
        int b = 0;
        if (word == "play") {
            lines >> a;
            probe.play = a;
        } else if (word == "offdevice") {
            lines >> a;
            probe.offDevice = a;
        } else if (word == "underrun") {
            lines >> a;
            probe.underrun = a;
        } else if (word == "latency") {
            lines >> probe.latency;
        } else if (word == "ondevice") {
            lines >> b;
            probe.onDevice = b != 0;
        } else if (word == "order") {
            lines >> a >> b;
            probe.orders.emplace_back(a, b);
        } else if (word == "trigger") {
            lines >> a >> b;
            probe.triggers.emplace_back(a, b);
        }
    }
    return probe;
}

class SoundServer : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<pulsetest::PulseServer>();
        if (!server->ok()) SKIP_OR_FAIL_ON_CI() << "no private PulseAudio server: " << server->why();
        folder = testmodules::makeTempFolder("sound-server");
        const std::vector<std::uint8_t> bytes = probeSong();
        modulePath = folder + "/probe.xm";
        FILE* f = std::fopen(modulePath.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        sound::RenderOptions options;
        reference = sound::renderData(bytes.data(), bytes.size(), options);
        ASSERT_TRUE(reference.loaded);
        referencePcm = recording::toPcm16(reference.audio);
    }
    void TearDown() override {
        server.reset();
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }

    ProbeRun probe(const std::vector<std::string>& extra, int killAfterMs = -1, const char* seconds = "4.3") {
        std::vector<std::string> args = {std::string(COMPOFILLER_BUILD_DIR) + "/tests/sound_probe", modulePath,
                                         seconds};
        args.insert(args.end(), extra.begin(), extra.end());
        std::function<void()> kill = [this] {
            killNanos = pulsetest::steadyNanos();
            server->kill();
        };
        return parseProbe(pulsetest::runProgram(args, server->clientEnvironment(), 60, killAfterMs, kill));
    }

    // Plays through the server while the sink's monitor is recorded; checks
    // the recording against the render and returns the probe's report.
    ProbeRun playAndRecord(const std::vector<std::string>& extra, const char* seconds = "4.3",
                           bool expectNoDropout = true) {
        pulsetest::MonitorRecorder recorder(*server);
        EXPECT_TRUE(recorder.ok());
        EXPECT_TRUE(recorder.waitForData(5000)) << "parec recorded nothing";
        ProbeRun run = probe(extra, -1, seconds);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        const std::vector<std::int16_t> recorded = recorder.stop();
        EXPECT_EQ(run.run.status, 0) << run.run.err;
        EXPECT_TRUE(run.onDevice) << "the probe did not open the server's device: " << run.run.err;
        EXPECT_EQ(run.run.err, "");
        comparison = recording::compare(recorded, referencePcm);
        EXPECT_TRUE(comparison.aligned) << "the song is not in the recording";
        EXPECT_GE(comparison.comparedFrames, reference.frames * 9 / 10) << "the recording is short";
        for (const recording::Dropout& d : comparison.dropouts) {
            std::printf("dropout at %.3f s, song moved by %+.1f ms\n", d.referenceFrame / rate,
                        d.skippedFrames * 1000.0 / rate);
        }
        if (expectNoDropout && timed) {
            EXPECT_EQ(comparison.dropouts.size(), 0u) << "the sound dropped out";
        }
        EXPECT_EQ(run.underrun, 0) << "the device was given silence for want of mixed sound";
        frameZero = recorder.frameZeroNanos();
        return run;
    }

    // Milliseconds by which each event reached the program after the
    // recording had it (negative: before), orders then triggers.
    // Events wanted earlier than the song's start cannot come before it:
    // those in the first `skipMs` of the song are left out.
    std::vector<double> eventOffsetsMs(const ProbeRun& run, double skipMs = 0) {
        std::vector<double> offsets;
        const auto skip = static_cast<std::int64_t>(skipMs * rate / 1000);
        // After a dropout the recording no longer tells when the rest played.
        const std::int64_t until = comparison.dropouts.empty() ? reference.frames : comparison.dropouts[0].referenceFrame;
        auto heardMs = [this](std::int64_t frame) {
            return (frameZero + static_cast<double>(frame + comparison.lag) * 1e9 / rate) / 1e6;
        };
        for (const sound::OrderStart& start : reference.orderStarts) {
            if (start.order == 0 || start.sample < skip || start.sample >= until) continue;
            const auto seen = std::find_if(run.orders.begin(), run.orders.end(),
                                           [&](const auto& o) { return o.second == start.order; });
            EXPECT_NE(seen, run.orders.end()) << "order " << start.order << " never reached the program";
            if (seen != run.orders.end()) offsets.push_back(seen->first / 1e6 - heardMs(start.sample));
        }
        EXPECT_GE(run.triggers.size(), reference.triggers.size());
        for (std::size_t i = 0; i < reference.triggers.size() && i < run.triggers.size(); ++i) {
            EXPECT_EQ(run.triggers[i].second, reference.triggers[i].instrument) << "trigger " << i;
            if (reference.triggers[i].sample < skip || reference.triggers[i].sample >= until) continue;
            offsets.push_back(run.triggers[i].first / 1e6 - heardMs(reference.triggers[i].sample));
        }
        return offsets;
    }

    void expectCleanRun(const char* what, const std::vector<std::string>& extra, double centreMs = 0,
                        const char* seconds = "4.3");

    void expectOffsetsWithin(const std::vector<double>& offsets, double centreMs, const char* what) {
        ASSERT_FALSE(offsets.empty());
        const auto [low, high] = std::minmax_element(offsets.begin(), offsets.end());
        std::printf("%s: events %+.1f to %+.1f ms after the sound\n", what, *low, *high);
        if (!timed) return;
        EXPECT_GE(*low, centreMs - earlyLimitMs) << what << ": an event came before the sound";
        EXPECT_LE(*high, centreMs + lateLimitMs) << what << ": an event came late";
    }

    std::unique_ptr<pulsetest::PulseServer> server;
    std::string folder;
    std::string modulePath;
    sound::RenderResult reference;
    std::vector<std::int16_t> referencePcm;
    recording::Comparison comparison;
    std::int64_t frameZero = 0;
    std::int64_t killNanos = 0;
};

// Plays the song while the main thread spins like the unpaced frame loop:
// no dropout, and every event within its limits of when it was heard.
void SoundServer::expectCleanRun(const char* what, const std::vector<std::string>& extra, double centreMs,
                                 const char* seconds) {
    // Events wanted before the song's start cannot come before it.
    const double skipMs = centreMs < 0 ? -centreMs + 50 : 0;
    const ProbeRun run = playAndRecord(extra, seconds);
    expectOffsetsWithin(eventOffsetsMs(run, skipMs), centreMs, what);
}

TEST_F(SoundServer, PlaysLikeTheRenderWithEventsWhenHeard) { expectCleanRun("no load", {"--spin"}); }

TEST_F(SoundServer, HoldsUnderLoadFromTwoBusyLoops) {
    pulsetest::BusyLoops load(2, 60);
    expectCleanRun("two busy loops", {"--spin"});
}

TEST_F(SoundServer, EventDelayMovesEventsAgainstTheSound) {
    expectCleanRun("delay +400 ms", {"--delay", "400"}, 400, "4.8");
    expectCleanRun("delay -400 ms", {"--delay", "-400"}, -400, "4.8");
}

TEST_F(SoundServer, KilledServerLeavesTheSongInTimeAndIsReported) {
    // A null sink nobody records from takes sound in bursts; recording makes
    // it take it steadily, as a sound card does.
    pulsetest::MonitorRecorder recorder(*server);
    ASSERT_TRUE(recorder.waitForData(5000)) << "parec recorded nothing";
    const ProbeRun run = probe({}, 2000);
    ASSERT_GT(killNanos, 0) << "the probe ended before the server was killed";
    EXPECT_EQ(run.run.status, 0) << run.run.err;
    ASSERT_TRUE(run.onDevice) << run.run.err;
    // Said once, with the point of the song where the sound stopped.
    int minutes = -1;
    int secondsIn = -1;
    EXPECT_EQ(std::sscanf(run.run.err.c_str(), "The song played without sound: the audio device went away at %d:%d of the song",
                          &minutes, &secondsIn),
              2)
        << run.run.err;
    const double songSeconds = (killNanos - run.play) / 1e9;
    EXPECT_EQ(minutes, 0);
    EXPECT_GE(secondsIn, static_cast<int>(songSeconds) - 1) << "killed " << songSeconds << " s into the song";
    EXPECT_LE(secondsIn, static_cast<int>(songSeconds)) << "killed " << songSeconds << " s into the song";
    EXPECT_EQ(std::count(run.run.err.begin(), run.run.err.end(), '\n'), 1) << run.run.err;
    ASSERT_GT(run.offDevice, 0) << "the output never left the device";
    const double noticedMs = (run.offDevice - killNanos) / 1e6;
    std::printf("device loss noticed %.1f ms after the kill\n", noticedMs);
    EXPECT_LT(noticedMs, timed ? 500.0 : 2000.0);

    // Orders before the kill fix where the song is; after it the silent
    // clock carries on from there without a jump or drift.
    double baseMs = 0;
    int before = 0;
    std::vector<double> after;
    for (const sound::OrderStart& start : reference.orderStarts) {
        if (start.order == 0) continue;
        const auto seen = std::find_if(run.orders.begin(), run.orders.end(),
                                       [&](const auto& o) { return o.second == start.order; });
        ASSERT_NE(seen, run.orders.end()) << "order " << start.order << " never reached the program";
        const double at = seen->first / 1e6 - start.sample * 1000.0 / rate;
        if (seen->first < killNanos) {
            baseMs += at;
            ++before;
        } else {
            after.push_back(at);
        }
    }
    ASSERT_GE(before, 1);
    ASSERT_GE(after.size(), 3u);
    baseMs /= before;
    for (double at : after) {
        if (timed) {
            EXPECT_NEAR(at, baseMs, 2 * bufferMs) << "an order after the loss is off the song's time";
        }
    }
    if (timed) {
        EXPECT_NEAR(after.back(), after.front(), 10.0) << "the silent clock drifts";
    }
}

TEST_F(SoundServer, DemoSaysOnExitWhereTheSoundWasLost) {
    // 42 orders of 80 ms: the demo ends after about 3.3 s.
    xm::Module song = testmodules::emptyModule(1, 1, 1, 1, 4, 125);
    song.orders.assign(42, 0);
    put(song, 0, 0, 0, 49, 1);
    testmodules::writeModule(song, folder, "QUILLOW3.oxm");
    pulsetest::MonitorRecorder recorder(*server);
    ASSERT_TRUE(recorder.waitForData(5000)) << "parec recorded nothing";
    const auto start = std::chrono::steady_clock::now();
    const pulsetest::RunResult run = pulsetest::runProgram(
        {std::string(COMPOFILLER_BUILD_DIR) + "/compofiller"}, server->clientEnvironment(), 60, 1500,
        [this] { server->kill(); }, folder);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 0);
    // Killed 1.5 s after the start, which includes loading and opening the
    // device: within the song's second second (its first, when slow).
    const std::string said = "The song played without sound: the audio device went away at 0:01 of the song; it "
                             "went on in silence from there\n";
    if (timed) {
        EXPECT_EQ(run.err, said);
    } else {
        EXPECT_TRUE(run.err == said || run.err == std::string(said).replace(said.find("0:01"), 4, "0:00")) << run.err;
    }
    // The song kept its time after the loss: it ended when it should.
    EXPECT_GT(seconds, 3.2);
    EXPECT_LT(seconds, timed ? 4.5 : 8.0);
}

}  // namespace

// ALSA's null device takes sound as fast as it is given, with no clock: the
// song must still play at the steady clock's pace, not race to its end; also
// when the device was slow to open and to start, so that it had taken none of
// the silence ahead when the song started.
class SoundDevice : public ::testing::TestWithParam<bool> {};

TEST_P(SoundDevice, FasterThanRealTimeDeviceDoesNotRunTheSongAhead) {
    const bool slowStart = GetParam();
    const std::string folder = testmodules::makeTempFolder("sound-fast");
    const std::vector<std::uint8_t> bytes = probeSong();
    const std::string path = folder + "/probe.xm";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::vector<std::string> environment = {"SDL_AUDIODRIVER=alsa", "AUDIODEV=null"};
    if (slowStart) {
        environment.push_back("LD_PRELOAD=" + std::string(COMPOFILLER_BUILD_DIR) + "/tests/libslow_audio_device.so");
        // AddressSanitizer wants its runtime first among the libraries.
        environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
    }
    const ProbeRun run = parseProbe(pulsetest::runProgram(
        {std::string(COMPOFILLER_BUILD_DIR) + "/tests/sound_probe", path, "2"}, environment, 30));
    std::filesystem::remove_all(folder);
    if (!run.onDevice) SKIP_OR_FAIL_ON_CI() << "ALSA's null device did not open: " << run.run.err;
    EXPECT_EQ(run.run.status, 0) << run.run.err;
    // 80 notes in the song's 3.84 s: in the 2 s after the start, with the
    // ring (1.5 s) ahead at most, no more than 73. Those that came after the
    // 2 s, while the probe was ending, are not counted.
    std::size_t heard = 0;
    for (const auto& trigger : run.triggers) heard += trigger.first <= run.play + 2000000000LL;
    EXPECT_LE(heard, 75u) << "the song ran ahead of the clock";
    EXPECT_GE(heard, 30u);
}

INSTANTIATE_TEST_SUITE_P(, SoundDevice, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "SlowToStart" : "AtOnce"); });
