// The live output in real time: on this machine's silent path (no sound card)
// or on a device where there is one. Orders and callbacks must follow the
// clock, come from another thread, and stop when the song is freed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "platform/sound_library.h"
#include "platform/sound/threaded_output.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<int> callbackCount{0};
std::atomic<bool> callbackOnCaller{false};
std::atomic<int> callbackSleepMs{0};
std::thread::id callerThread;

void countingCallback(FMUSIC_MODULE*, unsigned char) {
    if (std::this_thread::get_id() == callerThread) callbackOnCaller = true;
    const int sleepMs = callbackSleepMs.load();
    if (sleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    callbackCount.fetch_add(1);
}

// Four orders of four rows at speed 3, tempo 125: one order every 10584
// frames (0.24 s), a note of instrument 1 on every row.
std::string writeQuickSong(const std::string& folder) {
    auto module = testmodules::emptyModule(1, 1, 4, 4, 3, 125);
    for (int p = 0; p < 4; ++p) {
        for (int r = 0; r < 4; ++r) put(module, p, r, 0, 49, 1);
    }
    return testmodules::writeModule(module, folder, "quick.xm");
}

constexpr double orderSeconds = 4 * 3 * 882 / 44100.0;

class SoundLive : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Opening the output writes nothing to the terminal: the audio
        // system's messages are kept away from stderr.
        std::fflush(stderr);
        std::FILE* scratch = std::tmpfile();
        ASSERT_NE(scratch, nullptr);
        const int saved = ::dup(STDERR_FILENO);
        ::dup2(::fileno(scratch), STDERR_FILENO);
        const signed char ok = FSOUND_Init(44100, 64, 0);
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        const long written = std::ftell(scratch);
        std::fclose(scratch);
        ASSERT_EQ(ok, 1);
        EXPECT_EQ(written, 0) << "the audio system wrote to stderr";
        folder = testmodules::makeTempFolder("sound-live");
        path = writeQuickSong(folder);
    }
    void SetUp() override {
        callbackCount = 0;
        callbackOnCaller = false;
        callbackSleepMs = 0;
        callerThread = std::this_thread::get_id();
    }
    static std::string folder;
    static std::string path;
};

std::string SoundLive::folder;
std::string SoundLive::path;

TEST_F(SoundLive, SilentOutputExplainsItselfAndDeviceOutputDoesNot) {
    if (sound::threadedOutput().onDevice()) {
        EXPECT_EQ(soundOutputProblem(), "");
    } else {
        EXPECT_NE(soundOutputProblem(), "");
    }
    EXPECT_LE(sound::ThreadedOutput::bufferFrames, 1024);
}

TEST_F(SoundLive, OrdersAdvanceOnTimeAndCallbacksComeFromAnotherThread) {
    FMUSIC_MODULE* song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    FMUSIC_SetInstCallback(song, countingCallback, 0);
    const auto start = Clock::now();
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);

    // When each order is first seen, in seconds after PlaySong.
    double firstSeen[4] = {-1, -1, -1, -1};
    int last = -1;
    while (Clock::now() - start < std::chrono::milliseconds(900)) {
        const int order = FMUSIC_GetOrder(song);
        ASSERT_GE(order, last) << "orders went backwards before the song's end";
        if (order >= 0 && order < 4 && firstSeen[order] < 0) {
            firstSeen[order] = std::chrono::duration<double>(Clock::now() - start).count();
        }
        last = order;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int heardNotes = callbackCount.load();
    FMUSIC_FreeSong(song);

    // The song starts within two buffers of PlaySong; then each order lasts
    // 0.24 s. Allow scheduling slack on a loaded machine.
    const double buffer = sound::ThreadedOutput::bufferFrames / 44100.0;
    for (int order = 1; order < 4; ++order) {
        ASSERT_GE(firstSeen[order], 0.0) << "order " << order << " never seen";
        EXPECT_GE(firstSeen[order], order * orderSeconds - 0.005) << "order " << order;
        EXPECT_LE(firstSeen[order], order * orderSeconds + 2 * buffer + 0.06) << "order " << order;
    }
    // 0.9 s hold about 15 rows of 0.06 s, one note each.
    EXPECT_GE(heardNotes, 12);
    EXPECT_LE(heardNotes, 16);
    EXPECT_FALSE(callbackOnCaller.load());
}

TEST_F(SoundLive, FreeSongWaitsForARunningCallbackAndNoneFollows) {
    FMUSIC_MODULE* song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    FMUSIC_SetInstCallback(song, countingCallback, 0);
    callbackSleepMs = 30;
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    FMUSIC_FreeSong(song);
    const int atFree = callbackCount.load();
    EXPECT_GE(atFree, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(callbackCount.load(), atFree);
}

TEST_F(SoundLive, PausedOutputDoesNotAdvance) {
    FMUSIC_MODULE* song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    FMUSIC_SetInstCallback(song, countingCallback, 0);
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    ASSERT_EQ(FSOUND_SetPaused(FSOUND_SYSTEMCHANNEL, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let a running dispatch finish
    const std::int64_t frame = sound::threadedOutput().audibleFrame();
    const int order = FMUSIC_GetOrder(song);
    const int notes = callbackCount.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(sound::threadedOutput().audibleFrame(), frame);
    EXPECT_EQ(FMUSIC_GetOrder(song), order);
    EXPECT_EQ(callbackCount.load(), notes);

    ASSERT_EQ(FSOUND_SetPaused(FSOUND_SYSTEMCHANNEL, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(sound::threadedOutput().audibleFrame(), frame + 44100 / 10);
    EXPECT_GT(callbackCount.load(), notes);
    FMUSIC_FreeSong(song);
}

TEST_F(SoundLive, NullHandlesAndBadFilesAreHarmless) {
    EXPECT_EQ(FMUSIC_GetOrder(nullptr), -1);
    EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
    EXPECT_EQ(FMUSIC_SetInstCallback(nullptr, countingCallback, 3), 0);
    FMUSIC_FreeSong(nullptr);
    FSOUND_DSP_Free(nullptr);
    EXPECT_EQ(FSOUND_DSP_SetActive(nullptr, 1), 0);

    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong((folder + "/missing.xm").c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(folder.c_str()), nullptr);  // a directory
    const std::string empty = folder + "/empty.xm";
    std::ofstream(empty).close();
    EXPECT_EQ(FMUSIC_LoadSong(empty.c_str()), nullptr);
    const std::string text = folder + "/text.xm";
    std::ofstream(text) << "This is not a module, only some text long enough to look at.\n";
    EXPECT_EQ(FMUSIC_LoadSong(text.c_str()), nullptr);
}

}  // namespace
