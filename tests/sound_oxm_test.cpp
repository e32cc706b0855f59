// Modules whose samples are Ogg Vorbis streams (.oxm) load and play like the
// same module with plain samples.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sound_library.h"
#include "platform/sound/offline.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;

namespace {

xm::Module twoVoices() {
    auto module = testmodules::emptyModule(2, 2, 2, 8, 3, 125);
    // A longer, smoother sample for the second instrument: a sine.
    auto& sine = module.instruments[1].samples[0];
    sine.data.resize(4000);
    for (std::size_t i = 0; i < sine.data.size(); ++i) {
        sine.data[i] = static_cast<std::int16_t>(10000 * std::sin(2 * M_PI * static_cast<double>(i) / 100));
    }
    sine.loopLength = 4000;
    put(module, 0, 0, 0, 49, 1);
    put(module, 0, 4, 1, 49, 2);
    put(module, 1, 2, 0, 52, 0);
    put(module, 1, 6, 1, 56, 2, 0x0E, 0xD1);
    return module;
}

double rms(const std::vector<float>& audio) {
    double sum = 0;
    for (float v : audio) sum += static_cast<double>(v) * v;
    return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(1, audio.size())));
}

TEST(SoundOggMod, LoadsAndPlaysLikeThePlainModule) {
    const auto module = twoVoices();
    const auto plainBytes = testmodules::bytes(module);
    const auto oggBytes = testmodules::oxmBytes(module);
    ASSERT_NE(plainBytes, oggBytes);

    auto plain = sound::renderData(plainBytes.data(), plainBytes.size());
    auto ogg = sound::renderData(oggBytes.data(), oggBytes.size());
    ASSERT_TRUE(plain.loaded) << plain.error;
    ASSERT_TRUE(ogg.loaded) << ogg.error;
    EXPECT_EQ(ogg.facts.format, "oxm");
    EXPECT_EQ(plain.facts.format, "xm");
    EXPECT_EQ(ogg.frames, plain.frames);

    ASSERT_EQ(ogg.triggers.size(), plain.triggers.size());
    for (std::size_t i = 0; i < ogg.triggers.size(); ++i) {
        EXPECT_EQ(ogg.triggers[i].sample, plain.triggers[i].sample);
        EXPECT_EQ(ogg.triggers[i].instrument, plain.triggers[i].instrument);
    }
    // Lossy, but the same music: about the same loudness.
    const double plainLevel = rms(plain.audio);
    const double oggLevel = rms(ogg.audio);
    EXPECT_GT(plainLevel, 0.01);
    EXPECT_NEAR(oggLevel / plainLevel, 1.0, 0.15);
}

TEST(SoundOggMod, LoadSongAcceptsAnOxmFile) {
    const std::string folder = testmodules::makeTempFolder("sound-oxm");
    const std::string path = folder + "/QUILLOW3.oxm";
    const auto bytes = testmodules::oxmBytes(twoVoices());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    FMUSIC_MODULE* song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    auto result = sound::renderLoadedSong(song);
    EXPECT_EQ(result.facts.format, "oxm");
    EXPECT_EQ(result.triggers.size(), 4u);
    FMUSIC_FreeSong(song);
    std::remove(path.c_str());
    std::remove(folder.c_str());
}

}  // namespace
