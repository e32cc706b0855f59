// The music set-up end to end: initMusic loads "QUILLOW3.oxm" from the working
// folder and registers its seven instruments; rendering the song fires the
// callbacks, which count beats and set the pulses.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

#include "music/beat_pulses.h"
#include "music/music.h"
#include "platform/sound/offline.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;

namespace {

class MusicPulses : public ::testing::Test {
protected:
    void SetUp() override {
        char here[4096];
        ASSERT_NE(::getcwd(here, sizeof here), nullptr);
        previous = here;
        folder = testmodules::makeTempFolder("music-pulses");
        ASSERT_EQ(::chdir(folder.c_str()), 0);
        resetPulses();
    }
    void TearDown() override {
        freeMusic();
        std::remove((folder + "/QUILLOW3.oxm").c_str());
        EXPECT_EQ(::chdir(previous.c_str()), 0);
        std::remove(folder.c_str());
    }
    static void resetPulses() {
        pulseA = 0.0f;
        pulseB = 0.0f;
        pulseC = 0.0f;
        beatCount = 0;
    }
    static void freeMusic() {
        FSOUND_DSP_Free(dspUnit);
        FMUSIC_FreeSong(song);
        dspUnit = nullptr;
        song = nullptr;
    }
    // Writes the module as QUILLOW3.oxm and runs the set-up on it.
    void setUpWith(const xm::Module& module) {
        testmodules::writeModule(module, folder, "QUILLOW3.oxm");
        ASSERT_EQ(initMusic(), 0);
        ASSERT_NE(song, nullptr);
    }
    std::string previous;
    std::string folder;
};

// Thirty instruments, one row per note; cells given as (channel, tracker instrument).
xm::Module notes(const std::vector<std::pair<int, int>>& row0, const std::vector<int>& laterRows = {}) {
    auto module = testmodules::emptyModule(4, 30, 1, 8, 3, 125);
    for (auto [channel, instrument] : row0) put(module, 0, 0, channel, 49, instrument);
    for (std::size_t i = 0; i < laterRows.size(); ++i) put(module, 0, static_cast<int>(i) + 1, 0, 49, laterRows[i]);
    return module;
}

TEST_F(MusicPulses, EachRegisteredInstrumentSetsItsPulseAndCounts) {
    // The registrations use the library's zero-based numbers: registered
    // instrument n is the tracker's instrument n + 1.
    struct Case {
        int registered;
        float a, b, c;
    };
    const Case cases[] = {{3, 3, 0, 0}, {4, 3, 0, 0}, {11, 0, 3, 0}, {8, 0, 3, 0},
                          {5, 0, 3, 0}, {22, 0, 0, 4}, {29, 0, 0, 4}};
    for (const Case& c : cases) {
        setUpWith(notes({{0, c.registered + 1}}));
        resetPulses();
        auto result = sound::renderLoadedSong(song);
        ASSERT_TRUE(result.loaded) << result.error;
        EXPECT_EQ(beatCount.load(), 1) << "instrument " << c.registered;
        EXPECT_EQ(pulseA.load(), c.a) << "instrument " << c.registered;
        EXPECT_EQ(pulseB.load(), c.b) << "instrument " << c.registered;
        EXPECT_EQ(pulseC.load(), c.c) << "instrument " << c.registered;
        freeMusic();
    }
}

TEST_F(MusicPulses, OtherInstrumentsDriveNothing) {
    // Tracker instruments 1 to 30 once each, minus the seven registered ones.
    std::vector<int> others;
    for (int tracker = 1; tracker <= 30; ++tracker) {
        const int n = tracker - 1;
        if (n != 3 && n != 4 && n != 5 && n != 8 && n != 11 && n != 22 && n != 29) others.push_back(tracker);
    }
    auto module = testmodules::emptyModule(1, 30, 1, 32, 1, 255);
    for (std::size_t i = 0; i < others.size(); ++i) put(module, 0, static_cast<int>(i), 0, 49, others[i]);
    setUpWith(module);
    auto result = sound::renderLoadedSong(song);
    EXPECT_EQ(result.triggers.size(), others.size());
    EXPECT_EQ(beatCount.load(), 0);
    EXPECT_EQ(pulseA.load(), 0.0f);
    EXPECT_EQ(pulseB.load(), 0.0f);
    EXPECT_EQ(pulseC.load(), 0.0f);
}

TEST_F(MusicPulses, TriggersSetTheFullValueAndCountEveryNote) {
    // Tracker 4 and 5 (registered 3 and 4) on one row: two beats, pulseA at 3.
    // Later rows: every registered instrument once more, and notes with no
    // instrument that replay the channel's last one.
    auto module = notes({{0, 4}, {1, 5}}, {12, 9, 6, 23, 30});
    put(module, 0, 6, 0, 50, 0);  // bare note: instrument 30 again
    setUpWith(module);
    pulseA = 1.7f;
    sound::RenderOptions options;
    std::vector<int> seen;
    options.onTrigger = [&](const sound::Trigger& t) { seen.push_back(t.instrument); };
    sound::renderLoadedSong(song, options);
    EXPECT_EQ(seen, (std::vector<int>{3, 4, 11, 8, 5, 22, 29, 29}));
    EXPECT_EQ(beatCount.load(), 8);
    EXPECT_EQ(pulseA.load(), 3.0f);
    EXPECT_EQ(pulseB.load(), 3.0f);
    EXPECT_EQ(pulseC.load(), 4.0f);
}

TEST_F(MusicPulses, MissingModuleLoadsNoSong) {
    // (initMusic would show its message box here; the load itself is checked.)
    EXPECT_EQ(FMUSIC_LoadSong("QUILLOW3.oxm"), nullptr);
}

TEST_F(MusicPulses, PlayingSongCountsBeatsInRealTime) {
    // Registered instrument 3 on every row, a row every 0.12 s.
    auto module = testmodules::emptyModule(1, 30, 1, 64, 6, 125);
    for (int r = 0; r < 64; ++r) put(module, 0, r, 0, 49, 4);
    setUpWith(module);
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    const int beats = beatCount.load();
    freeMusic();
    // Rows at 0, 0.12, 0.24, ... s: six heard in 0.7 s after the start
    // latency, five or four when the machine is busy.
    EXPECT_GE(beats, 4);
    EXPECT_LE(beats, 6);
    EXPECT_EQ(pulseA.load(), 3.0f);
    EXPECT_EQ(FMUSIC_GetOrder(song), -1);
}

}  // namespace
