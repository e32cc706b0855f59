// The live output in real time, on an audio device of the test's own
// (tests/tools/test_audio_device.h) in place of the system's. Orders and
// callbacks must follow the sound, come from another thread, and stop when
// the song is freed; a device that stops taking sound or goes away leaves the
// song to the clock, is taken back or opened again, and the exit report says
// where the sound stopped and came back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/sound_library.h"
#include "tests/support/xm_test_modules.h"
#include "tests/tools/test_audio_device.h"

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

class SoundLive : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(FSOUND_Init(44100, 64, 0), 1);
        folder = testmodules::makeTempFolder("sound-live");
        path = writeQuickSong(folder);
    }
    void SetUp() override {
        callbackCount = 0;
        callbackOnCaller = false;
        callbackSleepMs = 0;
        callerThread = std::this_thread::get_id();
    }
    // Loads the quick song with the counting callback on its instrument and
    // plays it.
    static void play(FMUSIC_MODULE*& song) {
        song = FMUSIC_LoadSong(path.c_str());
        ASSERT_NE(song, nullptr);
        FMUSIC_SetInstCallback(song, countingCallback, 0);
        ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    }
    static std::string folder;
    static std::string path;
};

std::string SoundLive::folder;
std::string SoundLive::path;

// Waits up to `limit` for the exit report to hold `text`; the seconds it
// took, or -1.
double waitForReport(const std::string& text, std::chrono::milliseconds limit) {
    const auto start = Clock::now();
    while (Clock::now() - start < limit) {
        if (soundOutputProblem().find(text) != std::string::npos) {
            return std::chrono::duration<double>(Clock::now() - start).count();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1.0;
}

TEST_F(SoundLive, OrdersAndCallbacksFollowTheSoundAndComeFromAnotherThread) {
    constexpr std::int64_t rowFrames = 3 * 882;  // speed 3, tempo 125
    constexpr std::int64_t orderFrames = 4 * rowFrames;
    FMUSIC_MODULE* song = nullptr;
    ASSERT_NO_FATAL_FAILURE(play(song));
    const std::int64_t played = testdevice::framesTaken();
    const std::int64_t buffer = testdevice::bufferFrames();
    ASSERT_GT(buffer, 0);
    ASSERT_LE(buffer, 1024);

    // The frames the device had taken since PlaySong when each order was
    // first seen.
    std::int64_t firstSeen[4] = {-1, -1, -1, -1};
    std::int64_t taken = 0;
    int last = -1;
    const auto start = Clock::now();
    while ((taken = testdevice::framesTaken() - played) < 3 * orderFrames + 8 * buffer &&
           Clock::now() - start < std::chrono::seconds(3)) {
        const int order = FMUSIC_GetOrder(song);
        ASSERT_GE(order, last) << "orders went backwards before the song's end";
        if (order >= 0 && order < 4 && firstSeen[order] < 0) firstSeen[order] = testdevice::framesTaken() - played;
        last = order;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int heardNotes = callbackCount.load();
    FMUSIC_FreeSong(song);

    EXPECT_EQ(soundOutputProblem(), "");
    EXPECT_EQ(testdevice::opens(), 1);
    EXPECT_GT(testdevice::takeLoudest(), 0.01f) << "the device was given no sound";
    // The song is heard once the margin the output leaves before it (four
    // buffers) and what the device holds (two) have played: order k once the
    // device has taken k orders and six buffers. The device clock runs on up
    // to a buffer past the last callback; the dispatcher and this loop may be
    // a little late on a loaded machine.
    for (int order = 1; order < 4; ++order) {
        ASSERT_GE(firstSeen[order], 0) << "order " << order << " never seen";
        EXPECT_GE(firstSeen[order], order * orderFrames + 4 * buffer) << "order " << order;
        EXPECT_LE(firstSeen[order], order * orderFrames + 9 * buffer) << "order " << order;
    }
    // A note on every row.
    const auto rowsHeard = static_cast<int>((taken - 6 * buffer) / rowFrames + 1);
    EXPECT_GE(heardNotes, rowsHeard - 2);
    EXPECT_LE(heardNotes, rowsHeard + 1);
    EXPECT_FALSE(callbackOnCaller.load());
}

TEST_F(SoundLive, FreeSongWaitsForARunningCallbackAndNoneFollows) {
    FMUSIC_MODULE* song = nullptr;
    callbackSleepMs = 30;
    ASSERT_NO_FATAL_FAILURE(play(song));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    FMUSIC_FreeSong(song);
    const int atFree = callbackCount.load();
    EXPECT_GE(atFree, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(callbackCount.load(), atFree);
}

TEST_F(SoundLive, PausedOutputDoesNotAdvance) {
    FMUSIC_MODULE* song = nullptr;
    ASSERT_NO_FATAL_FAILURE(play(song));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    ASSERT_EQ(FSOUND_SetPaused(FSOUND_SYSTEMCHANNEL, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let a running dispatch finish
    const std::int64_t frame = testdevice::framesTaken();
    const int order = FMUSIC_GetOrder(song);
    const int notes = callbackCount.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(testdevice::framesTaken(), frame);
    EXPECT_EQ(FMUSIC_GetOrder(song), order);
    EXPECT_EQ(callbackCount.load(), notes);

    ASSERT_EQ(FSOUND_SetPaused(FSOUND_SYSTEMCHANNEL, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(testdevice::framesTaken(), frame + 44100 / 10);
    EXPECT_GT(callbackCount.load(), notes);
    FMUSIC_FreeSong(song);
    EXPECT_EQ(soundOutputProblem(), "") << "a paused device was taken for a stalled one";
}

TEST_F(SoundLive, StalledDeviceLeavesTheSongToTheClockUntilItTakesSoundAgain) {
    FMUSIC_MODULE* song = nullptr;
    ASSERT_NO_FATAL_FAILURE(play(song));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    testdevice::stall(true);
    const double noticed = waitForReport("the audio device stopped taking sound at 0:0", std::chrono::milliseconds(3000));
    ASSERT_GE(noticed, 0.0) << soundOutputProblem();
    EXPECT_GE(noticed, 0.9) << "a device a second without taking sound is stalled, not sooner";
    const int notes = callbackCount.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(callbackCount.load(), notes) << "the song stopped with the sound";

    testdevice::stall(false);
    const double back = waitForReport("(the audio device stopped taking sound, then it came back)",
                                      std::chrono::milliseconds(2000));
    EXPECT_GE(back, 0.0) << soundOutputProblem();
    EXPECT_EQ(testdevice::opens(), 1) << "a device that took sound again was opened anew";
    testdevice::takeLoudest();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(testdevice::takeLoudest(), 0.01f) << "the song was not heard again";
    FMUSIC_FreeSong(song);
}

TEST_F(SoundLive, DeviceThatWentAwayIsOpenedAgainUntilOneOpens) {
    FMUSIC_MODULE* song = nullptr;
    ASSERT_NO_FATAL_FAILURE(play(song));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const int opened = testdevice::opens();
    testdevice::failOpens(1);
    testdevice::goAway();
    EXPECT_GE(waitForReport("the audio device went away at 0:0", std::chrono::milliseconds(500)), 0.0)
        << soundOutputProblem();
    // Opened again a second later, which fails, then 2 s after that.
    const double back =
        waitForReport("(the audio device went away, then it came back)", std::chrono::milliseconds(5000));
    ASSERT_GE(back, 0.0) << soundOutputProblem();
    EXPECT_GE(back, 2.9);
    EXPECT_EQ(testdevice::opens(), opened + 1);
    testdevice::takeLoudest();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(testdevice::takeLoudest(), 0.01f) << "the song was not heard on the device opened again";
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
