// The parametric equalisers of the global output, measured on sine waves.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/sound/equaliser.h"
#include "platform/sound/offline.h"

namespace {

constexpr int rate = 44100;

// Gain in dB of the chain on a sine of `hz`, measured on the second half of
// one second (the filters have settled by then).
double measuredGain(sound::EqChain& chain, double hz) {
    const std::size_t frames = rate;
    std::vector<float> audio(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const float v = static_cast<float>(0.25 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate));
        audio[2 * i] = v;
        audio[2 * i + 1] = -v;
    }
    const std::vector<float> input = audio;
    for (std::size_t at = 0; at < frames; at += 1024) chain.process(audio.data() + 2 * at, std::min<std::size_t>(1024, frames - at), rate);
    double in = 0, out = 0, outRight = 0;
    for (std::size_t i = frames / 2; i < frames; ++i) {
        in += static_cast<double>(input[2 * i]) * input[2 * i];
        out += static_cast<double>(audio[2 * i]) * audio[2 * i];
        outRight += static_cast<double>(audio[2 * i + 1]) * audio[2 * i + 1];
    }
    EXPECT_NEAR(out, outRight, out * 1e-6) << "both channels are filtered alike";
    return 10.0 * std::log10(out / in);
}

void addDemoEqualisers(sound::EqChain& chain) {
    const int high = chain.add();
    const int low = chain.add();
    chain.set(high, sound::demoEqHigh.centre, sound::demoEqHigh.bandwidth, sound::demoEqHigh.gain);
    chain.set(low, sound::demoEqLow.centre, sound::demoEqLow.bandwidth, sound::demoEqLow.gain);
}

TEST(SoundEqualiser, DemoEqualisersLiftTheirCentres) {
    sound::EqChain high;
    addDemoEqualisers(high);
    EXPECT_NEAR(measuredGain(high, 14000.0), 8.0, 0.5);
    sound::EqChain low;
    addDemoEqualisers(low);
    EXPECT_NEAR(measuredGain(low, 55.0), 4.5, 0.5);
}

TEST(SoundEqualiser, PeakingFilterHasItsGainAtTheCentreAndNoneFarAway) {
    // |H| at the centre frequency of a peaking biquad is exactly the gain.
    for (double gain : {-6.0, 3.0, 12.0}) {
        auto k = sound::peakingCoefficients(1000.0, 12.0, gain, rate);
        const double w = 2.0 * M_PI * 1000.0 / rate;
        const double nr = k[0] + k[1] * std::cos(w) + k[2] * std::cos(2 * w);
        const double ni = -k[1] * std::sin(w) - k[2] * std::sin(2 * w);
        const double dr = 1.0 + k[3] * std::cos(w) + k[4] * std::cos(2 * w);
        const double di = -k[3] * std::sin(w) - k[4] * std::sin(2 * w);
        const double db = 10.0 * std::log10((nr * nr + ni * ni) / (dr * dr + di * di));
        EXPECT_NEAR(db, gain, 1e-9);
    }
    sound::EqChain chain;
    chain.set(chain.add(), 1000.0f, 12.0f, 9.0f);
    EXPECT_NEAR(measuredGain(chain, 1000.0), 9.0, 0.1);
    EXPECT_NEAR(measuredGain(chain, 60.0), 0.0, 0.1);
}

TEST(SoundEqualiser, SettingsApplyFromTheNextBlockAndBadOnesAreIgnored) {
    sound::EqChain chain;
    const int id = chain.add();
    EXPECT_NEAR(measuredGain(chain, 1000.0), 0.0, 1e-6);  // a new equaliser is flat
    chain.set(id, 1000.0f, 12.0f, 6.0f);
    EXPECT_NEAR(measuredGain(chain, 1000.0), 6.0, 0.1);
    chain.set(id, NAN, 12.0f, 20.0f);   // ignored
    chain.set(id + 5, 1000.0f, 12.0f, 20.0f);  // unknown id: ignored
    chain.set(-1, 1000.0f, 12.0f, 20.0f);
    EXPECT_NEAR(measuredGain(chain, 1000.0), 6.0, 0.1);

    // A centre above the Nyquist frequency is kept below it: the output stays finite.
    chain.set(id, 30000.0f, 32.0f, 8.0f);
    const double gain = measuredGain(chain, 20000.0);
    EXPECT_TRUE(std::isfinite(gain));
    EXPECT_NEAR(gain, 8.0, 1.0);
}

}  // namespace
