// Trigger detection and order progression of the offline render.
#include <gtest/gtest.h>

#include "platform/sound_offline.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;
using testmodules::tickFrames;

namespace {

sound::RenderResult renderModule(const xm::Module& module, double seconds = 0.0) {
    auto data = testmodules::bytes(module);
    sound::RenderOptions options;
    options.seconds = seconds;
    options.keepAudio = false;
    return sound::renderData(data.data(), data.size(), options);
}

TEST(SoundTriggers, NotesFireAtTheirRowWithZeroBasedInstruments) {
    auto module = testmodules::emptyModule(2, 3, 1, 16, 6, 125);
    put(module, 0, 0, 0, 49, 1);
    put(module, 0, 3, 1, 50, 3);
    put(module, 0, 5, 0, 49, 0);   // no instrument: the channel's last (1)
    put(module, 0, 7, 1, 97, 2);   // key-off: no trigger
    auto result = renderModule(module);
    ASSERT_TRUE(result.loaded) << result.error;
    const std::int64_t row = 6 * tickFrames(125);
    ASSERT_EQ(result.triggers.size(), 3u);
    EXPECT_EQ(result.triggers[0].sample, 0);
    EXPECT_EQ(result.triggers[0].instrument, 0);
    EXPECT_EQ(result.triggers[0].channel, 0);
    EXPECT_EQ(result.triggers[1].sample, 3 * row);
    EXPECT_EQ(result.triggers[1].instrument, 2);
    EXPECT_EQ(result.triggers[1].channel, 1);
    EXPECT_EQ(result.triggers[1].row, 3);
    EXPECT_EQ(result.triggers[2].sample, 5 * row);
    EXPECT_EQ(result.triggers[2].instrument, 0);
}

}  // namespace
