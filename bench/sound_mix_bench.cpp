// Mixing speed: seconds of audio decoded and equalised (both of the demo's
// equalisers) per second of CPU, in blocks of one output buffer.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/sound/offline.h"
#include "tools/xm/xm_writer.h"

namespace {

// Eight channels, a note on every row of every channel, eight instruments
// with looping samples: every voice busy all the time.
std::vector<std::uint8_t> busyModule() {
    xm::Module module;
    module.name = "busy";
    module.channels = 8;
    module.speed = 3;
    module.tempo = 140;
    for (int i = 0; i < 8; ++i) {
        xm::Instrument instrument;
        instrument.name = "voice";
        xm::Sample sample;
        sample.data.resize(2000);
        for (std::size_t k = 0; k < sample.data.size(); ++k) {
            sample.data[k] = static_cast<std::int16_t>(((k * static_cast<std::size_t>(i + 3)) % 200) * 150 - 15000);
        }
        sample.loop = xm::Loop::forward;
        sample.loopLength = 2000;
        instrument.samples.push_back(sample);
        module.instruments.push_back(instrument);
    }
    for (int p = 0; p < 4; ++p) {
        xm::Pattern pattern(64, 8);
        for (int r = 0; r < 64; ++r) {
            for (int c = 0; c < 8; ++c) {
                xm::Cell& cell = pattern.at(r, c);
                cell.note = static_cast<std::uint8_t>(37 + (r * 7 + c * 5 + p) % 36);
                cell.instrument = static_cast<std::uint8_t>(1 + c);
                if (r % 4 == 1) cell.effect = 0x04, cell.param = 0x46;  // vibrato now and then
            }
        }
        module.patterns.push_back(pattern);
        module.orders.push_back(static_cast<std::uint8_t>(p));
    }
    return xm::write(module);
}

void mixOneSecondBlocks(benchmark::State& state, const std::vector<std::uint8_t>& data) {
    std::string error;
    auto song = sound::OfflineSong::open(data.data(), data.size(), error);
    if (!song) {
        state.SkipWithError(error.c_str());
        return;
    }
    song->addEqualiser(sound::demoEqHigh);
    song->addEqualiser(sound::demoEqLow);
    std::vector<float> block(1024 * 2);
    std::vector<sound::Trigger> triggers;
    std::vector<sound::OrderStart> orders;
    std::int64_t frames = 0;
    for (auto _ : state) {
        for (int b = 0; b < 43; ++b) {  // 43 blocks of 1024: about one second
            frames += static_cast<std::int64_t>(song->render(block.data(), 1024));
            song->takeEvents(triggers, orders);
        }
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(frames) / sound::sampleRate, benchmark::Counter::kIsRate);
    state.counters["channels"] = song->facts().channels;
}

void BM_MixBusyEightChannels(benchmark::State& state) {
    static const auto data = busyModule();
    mixOneSecondBlocks(state, data);
}
BENCHMARK(BM_MixBusyEightChannels)->Unit(benchmark::kMillisecond);

void BM_MixBundledSong(benchmark::State& state) {
    std::ifstream in(std::string(COMPOFILLER_BUILD_DIR) + "/QUILLOW3.oxm", std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.empty()) {
        state.SkipWithError("QUILLOW3.oxm not built");
        return;
    }
    mixOneSecondBlocks(state, data);
}
BENCHMARK(BM_MixBundledSong)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
