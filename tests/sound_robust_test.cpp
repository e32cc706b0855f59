// Damaged input: every cut of a valid module, flipped bits and random bytes
// either load (and then render without fault) or are refused; none crashes
// or leaks (this suite also runs under AddressSanitizer and UBSan).
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "platform/sound_library.h"
#include "platform/sound/offline.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;

namespace {

std::vector<std::uint8_t> validModule() {
    auto module = testmodules::emptyModule(4, 3, 2, 8, 3, 125);
    module.orders = {0, 1, 0};
    for (int r = 0; r < 8; ++r) {
        put(module, 0, r, r % 4, 49 + r, 1 + r % 3);
        put(module, 1, r, (r + 1) % 4, 60 - r, 1 + (r + 1) % 3, r == 3 ? 0x0E : 0, r == 3 ? 0xD1 : 0);
    }
    module.instruments[1].volumeEnvelope.points = {{0, 64}, {10, 32}, {40, 0}};
    // Short samples keep the module small, so that trying every cut stays quick.
    for (auto& instrument : module.instruments) {
        auto& sample = instrument.samples[0];
        sample.data.resize(16);
        sample.loopLength = 16;
    }
    return testmodules::bytes(module);
}

// Loads the bytes; when they load, renders a little of them, repeating.
bool loadsAndRenders(const std::vector<std::uint8_t>& data) {
    std::string error;
    auto song = sound::OfflineSong::open(data.data(), data.size(), error);
    if (!song) {
        EXPECT_FALSE(error.empty());
        return false;
    }
    std::vector<float> block(2 * 512);
    // A damaged order list can leave nothing to play: the render then ends.
    for (int i = 0; i < 4; ++i) EXPECT_LE(song->render(block.data(), 512), 512u);
    std::vector<sound::Trigger> triggers;
    std::vector<sound::OrderStart> orders;
    song->takeEvents(triggers, orders);
    for (const auto& t : triggers) {
        EXPECT_GE(t.instrument, 0);
        EXPECT_GE(t.channel, 0);
        EXPECT_LT(t.channel, song->facts().channels);
    }
    return true;
}

TEST(SoundRobustness, EveryTruncationLoadsOrIsRefused) {
    const auto full = validModule();
    ASSERT_TRUE(loadsAndRenders(full));
    {
        std::string error;
        auto song = sound::OfflineSong::open(full.data(), full.size(), error);
        std::vector<float> block(2 * 512);
        EXPECT_EQ(song->render(block.data(), 512), 512u);
    }
    int loaded = 0;
    for (std::size_t size = 0; size < full.size(); ++size) {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        if (loadsAndRenders(cut)) ++loaded;
    }
    // A header alone is refused; a module cut in its sample data still plays.
    EXPECT_FALSE(loadsAndRenders(std::vector<std::uint8_t>(full.begin(), full.begin() + 60)));
    EXPECT_TRUE(loadsAndRenders(std::vector<std::uint8_t>(full.begin(), full.end() - 100)));
    EXPECT_GT(loaded, 0);
}

TEST(SoundRobustness, FlippedBitsAndRandomBytesLoadOrAreRefused) {
    const auto full = validModule();
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round) {
        auto damaged = full;
        const int flips = 1 + round % 4;
        for (int f = 0; f < flips; ++f) {
            // Most flips land in the headers, where they do the most harm.
            const std::size_t span = round % 2 == 0 ? std::min<std::size_t>(full.size(), 400) : full.size();
            const std::size_t at = random() % span;
            damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ (1u << (random() % 8)));
        }
        loadsAndRenders(damaged);
    }
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> noise(static_cast<std::size_t>(1 + random() % 3000));
        for (auto& b : noise) b = static_cast<std::uint8_t>(random());
        if (round % 2 == 0) {
            // Noise behind a real XM header reaches further into the loader.
            std::copy(full.begin(), full.begin() + std::min<std::ptrdiff_t>(80, static_cast<std::ptrdiff_t>(noise.size())), noise.begin());
        }
        loadsAndRenders(noise);
    }
}

TEST(SoundRobustness, LoadSongRefusesDamagedFilesAndFreesTheRest) {
    const auto full = validModule();
    const std::string folder = testmodules::makeTempFolder("sound-robust");
    const std::string path = folder + "/cut.xm";
    int loaded = 0;
    for (std::size_t size = 0; size <= full.size(); size += 61) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(full.data(), 1, size, f);
        std::fclose(f);
        FMUSIC_MODULE* song = FMUSIC_LoadSong(path.c_str());
        if (song != nullptr) {
            ++loaded;
            EXPECT_EQ(FMUSIC_GetOrder(song), 0);
        }
        FMUSIC_FreeSong(song);
    }
    EXPECT_GT(loaded, 0);
    std::remove(path.c_str());
    std::remove(folder.c_str());
}

}  // namespace
