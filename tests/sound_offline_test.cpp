// Trigger detection and order progression of the offline render: which cells
// start a note, at which sample, and how the song moves through its orders.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sound/offline.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;
using testmodules::tickFrames;

namespace {

constexpr int porta = 0x03;      // 3xx
constexpr int portaVol = 0x05;   // 5xy
constexpr int extended = 0x0E;   // Exy
constexpr int jump = 0x0B;       // Bxx
constexpr int breakRow = 0x0D;   // Dxx
constexpr int setSpeed = 0x0F;   // Fxx
constexpr int keyOff = 0x14;     // Kxx
constexpr int volumePorta = 0xF0;

sound::RenderResult renderModule(const xm::Module& module, double seconds = 0.0, bool keepAudio = false) {
    auto data = testmodules::bytes(module);
    sound::RenderOptions options;
    options.seconds = seconds;
    options.keepAudio = keepAudio;
    return sound::renderData(data.data(), data.size(), options);
}

struct Hit {
    std::int64_t sample;
    int channel;
    int instrument;
};

std::vector<Hit> hits(const sound::RenderResult& result) {
    std::vector<Hit> out;
    for (const auto& t : result.triggers) out.push_back(Hit{t.sample, t.channel, t.instrument});
    return out;
}

void expectHits(const sound::RenderResult& result, const std::vector<Hit>& expected) {
    ASSERT_TRUE(result.loaded) << result.error;
    auto got = hits(result);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].sample, expected[i].sample) << "trigger " << i;
        EXPECT_EQ(got[i].channel, expected[i].channel) << "trigger " << i;
        EXPECT_EQ(got[i].instrument, expected[i].instrument) << "trigger " << i;
    }
}

TEST(SoundTriggers, NotesFireAtTheirRowWithZeroBasedInstruments) {
    auto module = testmodules::emptyModule(2, 3, 1, 16, 6, 125);
    put(module, 0, 0, 0, 49, 1);
    put(module, 0, 3, 1, 50, 3);
    put(module, 0, 5, 0, 49, 0);   // no instrument: the channel's last (1)
    put(module, 0, 7, 1, 97, 2);   // key-off: no trigger
    put(module, 0, 9, 1, 0, 2);    // instrument alone: starts nothing
    put(module, 0, 10, 1, 60, 0);  // but the next bare note plays instrument 2
    const std::int64_t row = 6 * tickFrames(125);
    auto result = renderModule(module);
    expectHits(result, {{0, 0, 0}, {3 * row, 1, 2}, {5 * row, 0, 0}, {10 * row, 1, 1}});
    EXPECT_EQ(result.triggers[1].row, 3);
    EXPECT_EQ(result.triggers[1].order, 0);
}

TEST(SoundTriggers, PositionsFollowSpeedAndTempoChanges) {
    // Speed 3 at tempo 150 (735 frames a tick), then F05 and F7D (speed 5,
    // tempo 125) from row 4 on.
    auto module = testmodules::emptyModule(1, 1, 1, 8, 3, 150);
    for (int r = 0; r < 8; ++r) put(module, 0, r, 0, 49, 1);
    module.patterns[0].at(4, 0).effect = setSpeed;
    module.patterns[0].at(4, 0).param = 5;
    auto twoCommands = testmodules::emptyModule(2, 1, 1, 8, 3, 150);
    auto result = renderModule(module);
    ASSERT_EQ(result.triggers.size(), 8u);
    const std::int64_t slowRow = 3 * tickFrames(150);
    for (int r = 0; r <= 4; ++r) EXPECT_EQ(result.triggers[static_cast<std::size_t>(r)].sample, r * slowRow) << r;
    const std::int64_t fastRow = 5 * tickFrames(150);
    EXPECT_EQ(result.triggers[5].sample, 4 * slowRow + fastRow);

    // Tempo change on a second channel of the same row.
    for (int r = 0; r < 8; ++r) put(twoCommands, 0, r, 0, 49, 1);
    put(twoCommands, 0, 2, 1, 0, 0, setSpeed, 125);
    auto tempo = renderModule(twoCommands);
    ASSERT_EQ(tempo.triggers.size(), 8u);
    EXPECT_EQ(tempo.triggers[2].sample, 2 * slowRow);
    EXPECT_EQ(tempo.triggers[3].sample, 2 * slowRow + 3 * tickFrames(125));
}

TEST(SoundTriggers, TonePortamentoTargetsDoNotCount) {
    auto module = testmodules::emptyModule(1, 2, 1, 8, 6, 125);
    put(module, 0, 0, 0, 49, 1);
    put(module, 0, 1, 0, 61, 2, porta, 0x20);      // 3xx target, and its instrument is ignored
    put(module, 0, 2, 0, 49, 0, portaVol, 0x01);   // 5xy target
    put(module, 0, 3, 0, 55, 0, 0, 0, volumePorta | 0x3);  // volume-column portamento
    put(module, 0, 4, 0, 50, 0);                   // plain note: still instrument 1
    const std::int64_t row = 6 * tickFrames(125);
    expectHits(renderModule(module), {{0, 0, 0}, {4 * row, 0, 0}});
}

TEST(SoundTriggers, NoteDelaysShiftTheTriggerByTicks) {
    auto module = testmodules::emptyModule(2, 2, 1, 8, 6, 125);
    put(module, 0, 0, 0, 49, 1, extended, 0xD2);  // two ticks late
    put(module, 0, 1, 0, 49, 1, extended, 0xD0);  // ED0: no delay
    put(module, 0, 2, 0, 49, 1, extended, 0xD6);  // as long as the row: never plays
    put(module, 0, 3, 0, 49, 2, extended, 0xD9);  // longer: never plays, instrument unchanged
    put(module, 0, 4, 0, 49, 0);                  // still instrument 1
    // Volume-column portamento with a delay plays as a delayed note.
    put(module, 0, 5, 1, 49, 2, extended, 0xD3, volumePorta | 0x5);
    const std::int64_t tick = tickFrames(125);
    const std::int64_t row = 6 * tick;
    expectHits(renderModule(module), {{2 * tick, 0, 0}, {row, 0, 0}, {4 * row, 0, 0}, {5 * row + 3 * tick, 1, 1}});
}

TEST(SoundTriggers, KeyOffEffectBesideANoteHidesOnlyWhenImmediate) {
    auto module = testmodules::emptyModule(1, 1, 1, 4, 6, 125);
    put(module, 0, 0, 0, 49, 1, keyOff, 0x00);  // K00: the note is ignored
    put(module, 0, 1, 0, 49, 1, keyOff, 0x03);  // K03: plays, released later
    expectHits(renderModule(module), {{6 * tickFrames(125), 0, 0}});
}

TEST(SoundTriggers, InstrumentOnPortamentoCellKeepsTheChannelInstrument) {
    auto module = testmodules::emptyModule(1, 3, 1, 4, 6, 125);
    put(module, 0, 0, 0, 49, 1);
    put(module, 0, 1, 0, 0, 3, porta, 0x10);  // instrument beside portamento: ignored
    put(module, 0, 2, 0, 0, 2);               // instrument alone: taken
    put(module, 0, 3, 0, 49, 0);
    const std::int64_t row = 6 * tickFrames(125);
    expectHits(renderModule(module), {{0, 0, 0}, {3 * row, 0, 1}});
}

TEST(SoundTriggers, PatternDelayDoesNotRetriggerAndALoopedRowDoes) {
    auto module = testmodules::emptyModule(1, 1, 1, 4, 3, 125);
    put(module, 0, 0, 0, 49, 1, extended, 0xE2);  // row lasts three times as long
    put(module, 0, 1, 0, 49, 1, extended, 0x60);  // loop start
    put(module, 0, 2, 0, 49, 1, extended, 0x61);  // back to row 1 once
    const std::int64_t row = 3 * tickFrames(125);
    expectHits(renderModule(module), {{0, 0, 0}, {3 * row, 0, 0}, {4 * row, 0, 0}, {5 * row, 0, 0}, {6 * row, 0, 0}});

    // A row that loops onto itself plays its note each time.
    auto self = testmodules::emptyModule(1, 1, 1, 2, 3, 125);
    put(self, 0, 0, 0, 49, 1, extended, 0x60);
    put(self, 0, 1, 0, 49, 1, extended, 0x62);  // row 1 is the loop end, so row 0 to 1 repeats
    auto one = testmodules::emptyModule(1, 1, 1, 2, 3, 125);
    put(one, 0, 0, 0, 49, 1, jump, 0x00);       // B00 on row 0: jumps to itself
    auto result = renderModule(one, 5 * row / 44100.0 + 0.001);
    EXPECT_EQ(result.triggers.size(), 6u);  // rows at 0..5 row lengths
    auto loop = renderModule(self);
    EXPECT_EQ(loop.triggers.size(), 6u);

    // Loop start and end on one row (two channels): that row plays three times.
    auto sameRow = testmodules::emptyModule(2, 1, 1, 2, 3, 125);
    put(sameRow, 0, 0, 0, 49, 1, extended, 0x60);
    put(sameRow, 0, 0, 1, 0, 0, extended, 0x62);
    put(sameRow, 0, 1, 0, 49, 1);
    expectHits(renderModule(sameRow), {{0, 0, 0}, {row, 0, 0}, {2 * row, 0, 0}, {3 * row, 0, 0}});
}

TEST(SoundOrders, OrdersRunThroughTheListAndRepeatFromTheRestartPosition) {
    auto module = testmodules::emptyModule(1, 1, 3, 4, 3, 125);
    module.orders = {0, 2, 1, 2};
    module.restartPosition = 1;
    for (int p = 0; p < 3; ++p) put(module, p, 0, 0, 49, 1);
    const std::int64_t order = 4 * 3 * tickFrames(125);

    auto once = renderModule(module);
    ASSERT_TRUE(once.loaded);
    EXPECT_EQ(once.facts.orders, 4);
    EXPECT_EQ(once.facts.restartOrder, 1);
    EXPECT_EQ(once.facts.format, "xm");
    EXPECT_NEAR(once.facts.durationSeconds, 4.0 * order / 44100, 0.01);
    EXPECT_EQ(once.frames, 4 * order);
    ASSERT_EQ(once.orderStarts.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(once.orderStarts[static_cast<std::size_t>(i)].order, i);
        EXPECT_EQ(once.orderStarts[static_cast<std::size_t>(i)].sample, i * order);
    }

    // Rendered on for seven orders: 0 1 2 3, then 1 2 3 again.
    auto longer = renderModule(module, 7.0 * order / 44100);
    ASSERT_EQ(longer.orderStarts.size(), 7u);
    const int expected[7] = {0, 1, 2, 3, 1, 2, 3};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(longer.orderStarts[static_cast<std::size_t>(i)].order, expected[i]);
        EXPECT_EQ(longer.orderStarts[static_cast<std::size_t>(i)].sample, i * order);
    }
    ASSERT_EQ(longer.triggers.size(), 7u);
    EXPECT_EQ(longer.triggers[4].order, 1);
    EXPECT_EQ(longer.triggers[4].sample, 4 * order);
}

TEST(SoundOrders, JumpsAndBreaksMoveThroughOrdersAndRows) {
    auto module = testmodules::emptyModule(1, 1, 3, 8, 3, 125);
    put(module, 0, 1, 0, 49, 1, breakRow, 0x04);  // to row 4 of order 1
    put(module, 1, 4, 0, 49, 1, jump, 0x02);      // to order 2
    put(module, 2, 0, 0, 49, 1);
    const std::int64_t row = 3 * tickFrames(125);
    auto result = renderModule(module);
    ASSERT_EQ(result.triggers.size(), 3u);
    EXPECT_EQ(result.triggers[1].order, 1);
    EXPECT_EQ(result.triggers[1].row, 4);
    EXPECT_EQ(result.triggers[1].sample, 2 * row);
    EXPECT_EQ(result.triggers[2].order, 2);
    EXPECT_EQ(result.triggers[2].sample, 3 * row);
}

TEST(SoundRender, AudioIsSilentUntilTheFirstNoteAndTheEqualisersChangeIt) {
    auto module = testmodules::emptyModule(1, 1, 1, 8, 3, 125);
    put(module, 0, 4, 0, 49, 1);
    auto plain = renderModule(module, 0.0, true);
    ASSERT_EQ(plain.audio.size(), static_cast<std::size_t>(plain.frames) * 2);
    const std::int64_t note = 4 * 3 * tickFrames(125);
    float before = 0, after = 0;
    for (std::int64_t i = 0; i < note; ++i) before = std::max(before, std::fabs(plain.audio[static_cast<std::size_t>(2 * i)]));
    for (std::int64_t i = note; i < plain.frames; ++i) after = std::max(after, std::fabs(plain.audio[static_cast<std::size_t>(2 * i)]));
    EXPECT_EQ(before, 0.0f);
    EXPECT_GT(after, 0.05f);

    auto data = testmodules::bytes(module);
    sound::RenderOptions options;
    options.demoEqualisers = true;
    auto equalised = sound::renderData(data.data(), data.size(), options);
    ASSERT_EQ(equalised.audio.size(), plain.audio.size());
    double difference = 0;
    for (std::size_t i = 0; i < plain.audio.size(); ++i) difference += std::fabs(equalised.audio[i] - plain.audio[i]);
    EXPECT_GT(difference, 1.0);
}

TEST(SoundRender, StreamingRenderMatchesTheWholeRender) {
    auto module = testmodules::emptyModule(2, 2, 2, 8, 4, 140);
    for (int r = 0; r < 8; r += 2) put(module, r % 2, r, r % 2, 49 + r, 1 + r % 2);
    auto data = testmodules::bytes(module);
    auto whole = sound::renderData(data.data(), data.size());
    std::string error;
    auto song = sound::OfflineSong::open(data.data(), data.size(), error);
    ASSERT_NE(song, nullptr) << error;
    song->setRepeat(false);
    std::vector<float> audio;
    std::vector<float> block(2 * 333);
    std::vector<sound::Trigger> triggers, collected;
    std::vector<sound::OrderStart> orders;
    for (;;) {
        std::size_t got = song->render(block.data(), 333);
        audio.insert(audio.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * got));
        song->takeEvents(triggers, orders);
        collected.insert(collected.end(), triggers.begin(), triggers.end());
        if (got < 333) break;
    }
    EXPECT_EQ(audio, whole.audio);
    ASSERT_EQ(collected.size(), whole.triggers.size());
    for (std::size_t i = 0; i < collected.size(); ++i) EXPECT_EQ(collected[i].sample, whole.triggers[i].sample);
}

TEST(SoundRender, BadFilesGiveAReasonAndNoRender) {
    auto missing = sound::renderFile("/nonexistent/folder/song.xm");
    EXPECT_FALSE(missing.loaded);
    EXPECT_FALSE(missing.error.empty());
    auto folder = sound::inspectFile("/tmp");
    EXPECT_FALSE(folder.loaded);
    const char text[] = "no module here";
    auto garbage = sound::renderData(text, sizeof text);
    EXPECT_FALSE(garbage.loaded);
    EXPECT_TRUE(garbage.triggers.empty());
    EXPECT_FALSE(sound::renderLoadedSong(nullptr).loaded);
}

}  // namespace
