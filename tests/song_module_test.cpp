// The bundled song as the demo hears it: it loads, its orders run past 40 in
// the right time, the drums that drive the pictures play where the scenes
// need them, and the equalised mix keeps its headroom.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <libopenmpt/libopenmpt.hpp>

#include "platform/sound_library.h"
#include "platform/sound/offline.h"
#include "tests/support/xm_test_modules.h"

namespace {

const std::string songPath = COMPOFILLER_BUILD_DIR "/QUILLOW3.oxm";
const std::string generatorPath = COMPOFILLER_BUILD_DIR "/tools/songgen/songgen";

// The song's grid: 16 rows to the bar, 6 ticks of 918 frames (120 BPM).
constexpr std::int64_t barFrames = 16 * 6 * 918;

// Which pulse a zero-based instrument drives: 'A', 'B', 'C' or 0.
char pulseOf(int instrument) {
    switch (instrument) {
        case 3: case 4: return 'A';
        case 5: case 8: case 11: return 'B';
        case 22: case 29: return 'C';
        default: return 0;
    }
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double decibels(double v) { return 20.0 * std::log10(v); }

// One render of the whole song through the demo's equalisers, shared by all
// tests of the suite.
class SongModule : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sound::RenderOptions options;
        options.demoEqualisers = true;
        render = new sound::RenderResult(sound::renderFile(songPath, options));
        for (const sound::OrderStart& s : render->orderStarts) {
            if (!orderStart.count(s.order)) orderStart[s.order] = s.sample;
        }
    }
    static void TearDownTestSuite() {
        delete render;
        render = nullptr;
    }
    // First and one-past-last frame of an order.
    static std::pair<std::int64_t, std::int64_t> span(int order) {
        const auto next = orderStart.find(order + 1);
        return {orderStart.at(order), next == orderStart.end() ? render->frames : next->second};
    }
    static double rms(std::int64_t from, std::int64_t to) {
        double sum = 0.0;
        for (std::int64_t i = from * 2; i < to * 2; ++i) sum += double(render->audio[i]) * render->audio[i];
        return std::sqrt(sum / double((to - from) * 2));
    }

    static sound::RenderResult* render;
    static std::map<int, std::int64_t> orderStart;
};

sound::RenderResult* SongModule::render = nullptr;
std::map<int, std::int64_t> SongModule::orderStart;

TEST(SongFile, LoadsThroughTheSoundLibrary) {
    FMUSIC_MODULE* song = FMUSIC_LoadSong(songPath.c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(FMUSIC_GetOrder(song), 0);
    FMUSIC_FreeSong(song);
}

TEST(SongFile, IsSmallAndTheSameOnEveryRun) {
    const std::vector<std::uint8_t> built = readBytes(songPath);
    ASSERT_FALSE(built.empty());
    EXPECT_LT(built.size(), 2u * 1024 * 1024);
    const std::string folder = testmodules::makeTempFolder("songgen");
    for (const char* name : {"/first.oxm", "/second.oxm"}) {
        const std::string out = folder + name;
        ASSERT_EQ(std::system((generatorPath + " " + out).c_str()), 0);
        EXPECT_TRUE(readBytes(out) == built) << out << " differs from the built song";
    }
    std::filesystem::remove_all(folder);
}

// Every note names an instrument that has a sound, and no note falls outside
// the playable range, so nothing meant to be heard (or to move a picture) is
// silently dropped.
TEST(SongFile, EveryNotePlaysARealInstrument) {
    const std::vector<std::uint8_t> bytes = readBytes(songPath);
    std::ostringstream log;
    openmpt::module song(bytes.data(), bytes.size(), log);
    const std::vector<std::string> names = song.get_instrument_names();
    ASSERT_GE(names.size(), 30u);
    int notes = 0;
    for (std::int32_t order = 0; order < song.get_num_orders(); ++order) {
        const std::int32_t pattern = song.get_order_pattern(order);
        for (std::int32_t row = 0; row < song.get_pattern_num_rows(pattern); ++row) {
            for (std::int32_t ch = 0; ch < song.get_num_channels(); ++ch) {
                const int note = song.get_pattern_row_channel_command(pattern, row, ch, openmpt::module::command_note);
                const int ins = song.get_pattern_row_channel_command(pattern, row, ch, openmpt::module::command_instrument);
                if (note == 0 || note > 120) continue;  // empty, or key-off and note cut
                ++notes;
                // libopenmpt counts notes from C-0 = 13 (XM note + 12).
                EXPECT_GE(note, 13) << "order " << order << " row " << row << " channel " << ch;
                EXPECT_LE(note, 108) << "order " << order << " row " << row << " channel " << ch;
                if (ins > 0) {
                    ASSERT_LE(ins, int(names.size()));
                    EXPECT_FALSE(names[std::size_t(ins - 1)].empty()) << "order " << order << " row " << row;
                }
            }
        }
    }
    EXPECT_GT(notes, 3000);
}

TEST(SongFile, GeneratorRejectsBadUse) {
    EXPECT_NE(std::system((generatorPath + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((generatorPath + " /nonexistent-folder/x.oxm 2>/dev/null").c_str()), 0);
}

TEST_F(SongModule, RunsPastOrderFortyInTwoAndAHalfToFourMinutes) {
    ASSERT_TRUE(render->loaded) << render->error;
    EXPECT_EQ(render->facts.format, "xm");
    EXPECT_GE(render->facts.orders, 42);
    EXPECT_GE(render->facts.durationSeconds, 150.0);
    EXPECT_LE(render->facts.durationSeconds, 240.0);
    // Every order is reached in turn, once, up to 41 where the demo ends.
    int expected = 0;
    for (const sound::OrderStart& s : render->orderStarts) EXPECT_EQ(s.order, expected++);
    EXPECT_GE(expected, 42);
    // The picture fades in over the first 10 s: the intro lasts that long.
    EXPECT_GE(double(orderStart.at(4)) / sound::sampleRate, 10.0);
}

TEST_F(SongModule, EveryOrderIsWholeBars) {
    ASSERT_TRUE(render->loaded);
    for (int order = 0; order + 1 < render->facts.orders; ++order) {
        const auto [from, to] = span(order);
        EXPECT_EQ((to - from) % barFrames, 0) << "order " << order;
    }
}

TEST_F(SongModule, EveryRegisteredInstrumentPlays) {
    ASSERT_TRUE(render->loaded);
    std::map<int, int> count;
    for (const sound::Trigger& t : render->triggers) ++count[t.instrument];
    for (int instrument : {3, 4, 5, 8, 11, 22, 29}) EXPECT_GT(count[instrument], 0) << "instrument " << instrument;
}

// Outside the first order and the breakdown, every bar sets all three pulses.
TEST_F(SongModule, EveryBarSetsEveryPulse) {
    ASSERT_TRUE(render->loaded);
    std::map<std::pair<int, int>, std::set<char>> pulses;  // (order, bar) -> pulses
    for (const sound::Trigger& t : render->triggers) {
        if (char p = pulseOf(t.instrument)) pulses[{t.order, t.row / 16}].insert(p);
    }
    const int lastOrder = render->facts.orders - 1;
    for (int order = 1; order <= lastOrder; ++order) {
        if (order == 26 || order == 27) continue;
        const auto [from, to] = span(order);
        const int bars = int((to - from) / barFrames);
        for (int bar = 0; bar < bars; ++bar) {
            const std::set<char> all{'A', 'B', 'C'};
            EXPECT_EQ(pulses[std::make_pair(order, bar)], all) << "order " << order << " bar " << bar;
        }
    }
}

TEST_F(SongModule, KickLandsOnTheBarsFirstBeat) {
    // Scene 0 follows only the kick's pulse; each groove bar starts with it.
    ASSERT_TRUE(render->loaded);
    std::set<std::pair<int, int>> kicks;
    for (const sound::Trigger& t : render->triggers) {
        if (pulseOf(t.instrument) == 'C' && t.row % 16 == 0) kicks.insert({t.order, t.row / 16});
    }
    for (int order = 1; order <= 40; ++order) {
        if (order == 26 || order == 27) continue;
        EXPECT_TRUE(kicks.count({order, 0})) << "order " << order;
    }
}

TEST_F(SongModule, EqualisedMixKeepsHeadroomAndNoSectionIsSilent) {
    ASSERT_TRUE(render->loaded);
    ASSERT_EQ(render->audio.size(), std::size_t(render->frames) * 2);
    float peak = 0.0f;
    for (float v : render->audio) peak = std::max(peak, std::abs(v));
    EXPECT_LT(decibels(peak), -1.0);

    struct Section {
        const char* name;
        int first, last;
    };
    const Section sections[] = {{"intro", 0, 3},   {"rings", 4, 7},      {"stripes", 8, 11},
                                {"cubes", 12, 15}, {"tori", 16, 25},     {"breakdown", 26, 27},
                                {"cones", 28, 31}, {"tunnel", 32, 37},   {"outro", 38, 41}};
    for (const Section& s : sections) {
        const double level = decibels(rms(span(s.first).first, span(s.last).second));
        std::printf("  %-9s orders %2d-%2d  RMS %6.1f dBFS\n", s.name, s.first, s.last, level);
        EXPECT_GT(level, -24.0) << s.name;
        EXPECT_LT(level, -9.0) << s.name;
    }
    std::printf("  peak %.2f dBFS\n", decibels(peak));
}

}  // namespace
