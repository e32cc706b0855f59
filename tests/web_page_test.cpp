// The web build: the page in headless Chromium from a local server: its
// picture, its sound in a private PulseAudio, its captions in time, Esc, a
// module that fails to load, and the size of the site. Needs ./build-web.sh
// to have run (build-web/), Chromium and puppeteer-core (test.sh installs it
// into build-web/test-tools); skipped without.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sound/offline.h"
#include "tests/support/ci_skip.h"
#include "tests/support/pulse_server.h"
#include "tests/support/recording_compare.h"
#include "tests/support/shell.h"
#include "tests/support/xm_test_modules.h"

namespace {

using shelltest::capture;
using shelltest::shellQuote;

constexpr double rate = 44100.0;
const std::string linuxBuild = COMPOFILLER_BUILD_DIR;
const std::string source = COMPOFILLER_SOURCE_DIR;

std::string webBuild() {
    const char* dir = std::getenv("COMPOFILLER_WEB_BUILD");
    return dir != nullptr ? dir : source + "/build-web";
}

std::string missing() {
    const std::string web = webBuild();
    for (const std::string file : {"/compofiller-frame.js", "/site/index.html", "/site/compofiller.wasm"}) {
        if (::access((web + file).c_str(), R_OK) != 0) return web + file + " is missing (run ./build-web.sh)";
    }
    if (::access("/usr/bin/node", X_OK) != 0) return "node is missing";
    return "";
}

std::string node(const std::string& args, const std::string& environment = "") {
    return capture("env NODE_OPTIONS=--no-experimental-fetch NODE_PATH=" + shellQuote(webBuild() + "/test-tools/node_modules") +
                   " " + environment + " node " + args + " 2>&1");
}

// Frames of the beam lattice, the warped rings with a caption and the row of
// tori, with pulses and beat counts, and the tori's next frame (the page shows
// them in turn, each over the one before: some of its cells keep their glyph
// and change colour). The web frame tool's cells are checked
// on their own by the golden frames (golden_frames_test.cpp).
const std::vector<std::string> frames = {
    "--order 1 --time-ms -3000 --seconds 3 --pulse-c 3 --beat-count 1",
    "--order 6 --time-ms -31000 --seconds 31 --pulse-b 2 --beat-count 9",
    "--order 20 --time-ms -88000 --seconds 88 --pulse-a 1 --pulse-c 2 --beat-count 20",
    "--order 20 --time-ms -88017 --seconds 88.017 --pulse-a 1 --pulse-c 2 --beat-count 20",
};

// What the page driver printed: its lines by first word.
struct Report {
    std::multimap<std::string, std::string> lines;
    std::string all;
    std::string first(const std::string& key) const {
        const auto at = lines.find(key);
        return at == lines.end() ? "" : at->second;
    }
};

class WebPage : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = missing(); !why.empty()) SKIP_OR_FAIL_ON_CI() << why;
        if (::access("/usr/bin/chromium", X_OK) != 0) SKIP_OR_FAIL_ON_CI() << "chromium is missing";
        if (!std::filesystem::exists(webBuild() + "/test-tools/node_modules/puppeteer-core"))
            SKIP_OR_FAIL_ON_CI() << "puppeteer-core is missing (npm install --prefix build-web/test-tools puppeteer-core@24)";
        folder = testmodules::makeTempFolder("web-page");
        site = folder + "/site";
        // The built site, and room for the test's own songs.
        std::filesystem::create_directory(site);
        for (const auto& entry : std::filesystem::directory_iterator(webBuild() + "/site"))
            std::filesystem::create_symlink(entry.path(), site + "/" + entry.path().filename().string());
    }
    void TearDown() override {
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }

    Report drive(const std::string& args, const std::string& environment = "") const {
        Report r;
        r.all = node(shellQuote(source + "/tests/web/page_driver.js") + " " + args, environment);
        std::istringstream in(r.all);
        std::string line;
        while (std::getline(in, line)) {
            const auto space = line.find(' ');
            r.lines.emplace(line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1));
        }
        return r;
    }

    static void expectNoPageErrors(const Report& r) {
        EXPECT_EQ(r.lines.count("page-error") + r.lines.count("console-error"), 0u) << r.all;
    }

    std::string folder;
    std::string site;
};

// Each way the page draws: the GPU's glyphs (WebGL 2) from a worker's thread
// (where the browser can, the default) or the page's, and the program's
// pixels on a 2D canvas.
TEST_F(WebPage, CanvasShowsTheFrameToolsPicture) {
    std::string pairs;
    const std::string font = source + "/platform/common/font/FullCyrSlav-VGA8.psf.gz";
    for (std::size_t n = 0; n < frames.size(); ++n) {
        const std::string base = folder + "/frame-" + std::to_string(n);
        const std::string tool = linuxBuild + "/compofiller-frame " + frames[n];
        capture(tool + " --out " + shellQuote(base + ".cells"));
        capture(tool + " --format png --font " + shellQuote(font) + " --out " + shellQuote(base + ".png"));
        pairs += " " + shellQuote(base + ".cells") + " " + shellQuote(base + ".png");
    }
    for (const std::string method : {"worker-2d", "worker-webgl2", "webgl2", "2d"}) {
        const std::string query = "?picture=" + method;
        const Report r = drive("picture " + shellQuote(site) + " '" + query + "' " + shellQuote(folder) + pairs);
        expectNoPageErrors(r);
        ASSERT_EQ(r.lines.count("picture"), frames.size()) << r.all;
        for (auto [at, end] = r.lines.equal_range("picture"); at != end; ++at) {
            // Every pixel of the canvas, and of the page's picture on the
            // screen at twice the size (a 1280 x 800 window).
            EXPECT_EQ(at->second.substr(at->second.find(' ') + 1), "canvas-wrong 0 screen-wrong 0 scale 2 method " + method);
        }
    }
}

// As a person meets it, where sound needs a gesture first: the start screen
// waits for a click, the frames come at the rate asked for, a double-click
// goes full screen and back, Esc ends it and "Play again" starts it afresh.
TEST_F(WebPage, StartsOnAClickAndPlaysAgain) {
    const Report r = drive("start " + shellQuote(site) + " '?fps=30' 3");
    expectNoPageErrors(r);
    std::vector<std::string> states;
    for (auto [at, end] = r.lines.equal_range("state"); at != end; ++at) states.push_back(at->second);
    EXPECT_EQ(states, (std::vector<std::string>{"ready", "running", "ended", "running"})) << r.all;
    EXPECT_EQ(r.first("hint"), "Click or press a key to start (with sound)");
    std::vector<std::string> fullscreen;
    for (auto [at, end] = r.lines.equal_range("fullscreen"); at != end; ++at) fullscreen.push_back(at->second);
    EXPECT_EQ(fullscreen, (std::vector<std::string>{"true", "false"}));
    const double fps = std::atof(r.first("frames-per-second").c_str());
    EXPECT_GT(fps, 27.0);
    EXPECT_LT(fps, 31.0);
}

// On a phone (Chromium's emulation, touch, sound after a gesture): the start
// screen asks for a tap and a tap starts it with sound; the picture fills the
// width upright and the height sideways, its pixels unsmoothed; a double tap
// goes full screen and back and a single one shows the End control, even where
// that control shows, and neither ends it; a tap on the control does.
TEST_F(WebPage, OnAPhoneATapStartsItAndTheEndControlEndsIt) {
    const Report r = drive("touch " + shellQuote(site) + " ''");
    expectNoPageErrors(r);
    std::vector<std::string> states;
    for (auto [at, end] = r.lines.equal_range("state"); at != end; ++at) states.push_back(at->second);
    EXPECT_EQ(states, (std::vector<std::string>{"ready", "running", "ended"})) << r.all;
    EXPECT_EQ(r.first("hint"), "Tap to start (with sound)");
    EXPECT_EQ(r.first("sound"), "running");
    for (auto [at, end] = r.lines.equal_range("picture"); at != end; ++at) {
        char view[16] = "";
        double left = 0, top = 0, width = 0, height = 0, viewWidth = 0, viewHeight = 0, scrollWidth = 0, scrollHeight = 0;
        ASSERT_EQ(std::sscanf(at->second.c_str(), "%15s %lf %lf %lf %lf %lf %lf %lf %lf", view, &left, &top, &width,
                              &height, &viewWidth, &viewHeight, &scrollWidth, &scrollHeight),
                  9)
            << r.all;
        // The width upright, the height sideways (within a pixel of the
        // screen, a third of one of the page's), 16:10, all of it on the
        // screen and nothing to scroll.
        const bool upright = std::string(view) == "portrait";
        EXPECT_NEAR(upright ? width : height, upright ? viewWidth : viewHeight, 0.35) << at->second;
        EXPECT_NEAR(height / width, 0.625, 0.002) << at->second;
        EXPECT_GE(left, 0) << at->second;
        EXPECT_GE(top, 0) << at->second;
        EXPECT_LE(left + width, viewWidth) << at->second;
        EXPECT_LE(top + height, viewHeight) << at->second;
        EXPECT_EQ(scrollWidth, viewWidth) << at->second;
        EXPECT_EQ(scrollHeight, viewHeight) << at->second;
    }
    EXPECT_EQ(r.lines.count("picture"), 2u) << r.all;
    const int colours = std::atoi(r.first("colours").c_str());
    EXPECT_GE(colours, 4) << r.all;
    EXPECT_LE(colours, 16) << "smoothed";
    std::vector<std::string> doubleTaps;
    for (auto [at, end] = r.lines.equal_range("double-tap"); at != end; ++at) doubleTaps.push_back(at->second);
    EXPECT_EQ(doubleTaps, (std::vector<std::string>{"fullscreen true end-shown false state running",
                                                    "fullscreen false end-shown false state running"}));
    EXPECT_EQ(r.first("single-tap"), "end-shown true state running");
    EXPECT_EQ(r.first("end-text"), "Ended.");
}

TEST_F(WebPage, ModuleThatFailsToLoadIsReportedOnThePage) {
    std::ofstream(site + "/bad.xm") << std::string(4000, 'x');
    const Report bad = drive("fail " + shellQuote(site) + " '?song=bad.xm'");
    EXPECT_EQ(bad.first("state"), "failed") << bad.all;
    EXPECT_EQ(bad.first("message-shown"), "true");
    EXPECT_EQ(bad.first("caption"), "Error! Zembo suxx!");
    EXPECT_NE(bad.first("text").find("Failed loading Protracker-Module bad.xm: not a module libopenmpt can load"),
              std::string::npos)
        << bad.all;
    expectNoPageErrors(bad);
    const Report absent = drive("fail " + shellQuote(site) + " '?song=absent.xm'");
    EXPECT_EQ(absent.first("state"), "failed") << absent.all;
    EXPECT_NE(absent.first("text").find("absent.xm: the page could not fetch absent.xm: 404"), std::string::npos)
        << absent.all;
}

// The lag (recording frame less song frame) within `reach` of `guess` at
// which the recording best follows the song from its frame `from` on.
std::int64_t lagAt(const std::vector<std::int16_t>& recorded, const std::vector<std::int16_t>& song, std::int64_t from,
                   std::int64_t guess, std::int64_t reach) {
    const std::int64_t span = 2048;
    std::int64_t best = guess;
    double bestSum = -1;
    for (std::int64_t lag = guess - reach; lag <= guess + reach; ++lag) {
        if (from + lag < 0 || std::size_t(from + lag + span) * 2 > recorded.size()) continue;
        double sum = 0;
        for (std::int64_t i = from; i < from + span && (bestSum < 0 || sum < bestSum); ++i) {
            const double d = double(song[std::size_t(i) * 2]) - recorded[std::size_t(i + lag) * 2];
            sum += d * d;
        }
        if (bestSum < 0 || sum < bestSum) {
            bestSum = sum;
            best = lag;
        }
    }
    return best;
}

// The song of the test: twelve orders of about a second. The page served on
// 127.0.0.1 plays through its audio worklet; on a plain http address of this
// machine's network, where browsers give no worklet, through a script
// processor on the page's thread.
enum class Served { loopback, network };

class WebPageSound : public WebPage, public ::testing::WithParamInterface<Served> {
protected:
    void SetUp() override {
        WebPage::SetUp();
        if (IsSkipped()) return;
        host = "127.0.0.1";
        if (GetParam() == Served::network) {
            host = capture("hostname -I 2>/dev/null | tr ' ' '\\n' | grep -m1 '^[0-9.]*$'");
            while (!host.empty() && host.back() == '\n') host.pop_back();
            if (host.empty()) GTEST_SKIP() << "this machine has no IPv4 address but its loopback";
        }
        const std::string path = testmodules::writeModule(testmodules::captionOrdersSong(), site, "orders.xm");
        sound::RenderOptions options;
        options.seconds = 12;
        options.demoEqualisers = true;
        reference = sound::renderFile(path, options);
        ASSERT_TRUE(reference.loaded);
    }
    std::pair<double, double> orderSpan(int order) const { return recording::orderSpan(reference, order); }
    sound::RenderResult reference;
    std::string host;
};

TEST_P(WebPageSound, PlaysTheSongWithItsCaptionsInTimeAndEndsOnEscape) {
    pulsetest::PulseServer server;
    if (!server.ok()) SKIP_OR_FAIL_ON_CI() << server.why();
    std::string environment = "HOST=" + host;
    for (const std::string& e : server.clientEnvironment()) environment += " " + shellQuote(e);
    const std::int64_t skip = std::int64_t(rate);
    const std::vector<std::int16_t> pcm = recording::toPcm16(reference.audio);
    const std::vector<std::int16_t> tail(pcm.begin() + skip * 2, pcm.begin() + std::int64_t(7 * rate) * 2);
    const auto wallToSteady = std::chrono::system_clock::now().time_since_epoch() -
                              std::chrono::steady_clock::now().time_since_epoch();
    const bool worklet = GetParam() == Served::loopback;
    pulsetest::MonitorRecorder recorder(server, 20);
    ASSERT_TRUE(recorder.ok());
    ASSERT_TRUE(recorder.waitForData(10000));
    const Report r = drive("play " + shellQuote(site) + " '?song=orders.xm' 8", environment);
    const std::vector<std::int16_t> recorded = recorder.stop();
    const std::int64_t frameZero = recorder.frameZeroNanos();
    // The recording follows the offline render after its first second
    // (Chromium's output may lose some tens of milliseconds as it starts,
    // which may move the song on).
    const recording::Comparison start = recording::compare(recorded, pcm);
    ASSERT_TRUE(start.aligned) << "the song is not in the recording";
    std::int64_t lag = lagAt(recorded, pcm, skip, start.lag, std::int64_t(rate / 2));
    ASSERT_LT(lag + skip, std::int64_t(recorded.size() / 2));
    const recording::Comparison c =
        recording::compare(std::vector<std::int16_t>(recorded.begin() + (lag + skip) * 2, recorded.end()), tail);
    ASSERT_TRUE(c.aligned);
    lag += c.lag;
    for (const recording::Dropout& d : c.dropouts) {
        std::printf("a dropout at %.3f s of the song, moved by %+.1f ms\n", d.referenceFrame / rate + 1,
                    d.skippedFrames * 1000 / rate);
    }
    expectNoPageErrors(r);
    EXPECT_NE(r.first("latency").find(worklet ? "worklet true" : "worklet false"), std::string::npos)
        << r.first("latency");
    if (worklet) {
        EXPECT_TRUE(c.dropouts.empty());
        EXPECT_LT(double(c.badFrames), 0.001 * double(c.comparedFrames)) << c.badFrames << " of " << c.comparedFrames;
    } else {
        // The script processor's callbacks wait for the page's frames: on a
        // busy machine it loses a buffer now and then.
        EXPECT_LE(c.dropouts.size(), 4u);
        EXPECT_LT(double(c.badFrames), 0.05 * double(c.comparedFrames)) << c.badFrames << " of " << c.comparedFrames;
    }

    // Esc ended it, at once, with the end screen.
    EXPECT_EQ(r.first("state"), "ended") << r.all;
    EXPECT_EQ(r.first("end-shown"), "true");
    EXPECT_EQ(r.first("end-text"), "Ended with Esc.");
    double lastFrame = 0, firstOrder2 = -1;
    std::vector<std::pair<double, int>> shown;  // page milliseconds since the epoch, order
    for (auto [at, end] = r.lines.equal_range("order"); at != end; ++at) {
        double ms = 0;
        int order = 0;
        std::sscanf(at->second.c_str(), "%lf %d", &ms, &order);
        shown.emplace_back(ms, order);
        lastFrame = std::max(lastFrame, ms);
        if (order == 2 && firstOrder2 < 0) firstOrder2 = ms;
    }
    ASSERT_GT(shown.size(), 300u) << "fewer than 300 frames in 8 s";
    std::printf("%zu frames; %s frames of sound came too late to be played; audio context latency %s\n",
                shown.size(), r.first("late-frames").c_str(), r.first("latency").c_str());
    EXPECT_LT(lastFrame - std::atof(r.first("escape").c_str()), 500.0) << "frames went on after Esc";

    // The captions of orders 2, 4 and 6 in time: by the song's clock as the
    // pictures keep it (from the first frame at order 2), every frame of
    // those orders falls within the order; and the pictures keep within
    // 150 ms of the sound the recorder heard (which itself hears the sink a
    // little early or late).
    ASSERT_GT(firstOrder2, 0) << "order 2 was never shown";
    const double pictureStart = firstOrder2 / 1000 - orderSpan(2).first;
    const double heardStart = (double(frameZero) + double(lag) * 1e9 / rate +
                               double(std::chrono::duration_cast<std::chrono::nanoseconds>(wallToSteady).count())) /
                              1e9;
    std::printf("pictures %+.0f ms after the sound\n", (pictureStart - heardStart) * 1000);
    EXPECT_LT(std::fabs(pictureStart - heardStart), 0.15);
    for (int order : {2, 4, 6}) {
        const auto [begin, end] = orderSpan(order);
        int within = 0, outside = 0;
        for (const auto& [ms, o] : shown) {
            if (o != order) continue;
            const double at = ms / 1000 - pictureStart;
            (at > begin - 0.05 && at < end + 0.05 ? within : outside) += 1;
        }
        EXPECT_GT(within, 40) << "order " << order;
        EXPECT_EQ(outside, 0) << "order " << order;
    }
}

INSTANTIATE_TEST_SUITE_P(Served, WebPageSound, ::testing::Values(Served::loopback, Served::network),
                         [](const ::testing::TestParamInfo<Served>& info) {
                             return info.param == Served::loopback ? "AudioWorklet" : "ScriptProcessor";
                         });

TEST_F(WebPage, SiteSizeGzipped) {
    std::uintmax_t total = 0, packed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(webBuild() + "/site")) {
        const std::uintmax_t size = entry.file_size();
        const std::uintmax_t gz =
            std::stoull(capture("gzip -9c " + shellQuote(entry.path().string()) + " | wc -c"));
        std::printf("%-20s %8ju bytes, %8ju gzipped\n", entry.path().filename().c_str(), size, gz);
        total += size;
        packed += gz;
    }
    std::printf("%-20s %8ju bytes, %8ju gzipped\n", "the site", total, packed);
    EXPECT_LT(packed, 3000000u);
}

}  // namespace
