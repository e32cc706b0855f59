#include "platform/sound/equaliser.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {

std::array<double, 5> peakingCoefficients(double centre, double bandwidthSemitones, double gainDb, int rate) {
    const double nyquist = rate / 2.0;
    // Keep the centre inside the band the filter can represent.
    centre = std::clamp(centre, 1.0, nyquist * 0.98);
    const double octaves = std::clamp(bandwidthSemitones / 12.0, 0.01, 12.0);
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * centre / rate;
    const double sw = std::sin(w0);
    const double cw = std::cos(w0);
    const double alpha = sw * std::sinh(std::log(2.0) / 2.0 * octaves * w0 / sw);
    const double a0 = 1.0 + alpha / a;
    return {(1.0 + alpha * a) / a0, (-2.0 * cw) / a0, (1.0 - alpha * a) / a0, (-2.0 * cw) / a0, (1.0 - alpha / a) / a0};
}

int EqChain::add() {
    int id = count.load(std::memory_order_relaxed);
    // Only the thread setting up the output adds; a compare-exchange keeps two
    // adders from taking the same slot all the same.
    while (id < capacity) {
        if (count.compare_exchange_weak(id, id + 1, std::memory_order_acq_rel)) return id;
    }
    return -1;
}

void EqChain::set(int id, float centre, float bandwidthSemitones, float gainDb) {
    if (id < 0 || id >= count.load(std::memory_order_acquire)) return;
    if (!std::isfinite(centre) || !std::isfinite(bandwidthSemitones) || !std::isfinite(gainDb)) return;
    Slot& slot = slots[static_cast<std::size_t>(id)];
    // Odd version: being written; the mixer waits for an even, unchanged one.
    slot.version.fetch_add(1, std::memory_order_acq_rel);
    slot.centre.store(centre, std::memory_order_relaxed);
    slot.bandwidth.store(bandwidthSemitones, std::memory_order_relaxed);
    slot.gain.store(gainDb, std::memory_order_relaxed);
    slot.version.fetch_add(1, std::memory_order_release);
}

void EqChain::process(float* interleaved, std::size_t frames, int rate) {
    const int n = count.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i) {
        Slot& slot = slots[static_cast<std::size_t>(i)];
        Filter& f = filters[static_cast<std::size_t>(i)];
        const std::uint32_t before = slot.version.load(std::memory_order_acquire);
        if (before != f.seenVersion && (before & 1u) == 0) {
            const float centre = slot.centre.load(std::memory_order_relaxed);
            const float bandwidth = slot.bandwidth.load(std::memory_order_relaxed);
            const float gain = slot.gain.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (slot.version.load(std::memory_order_relaxed) == before) {
                if (gain == 0.0f) {
                    f.b0 = 1; f.b1 = 0; f.b2 = 0; f.a1 = 0; f.a2 = 0;
                } else {
                    auto k = peakingCoefficients(centre, bandwidth, gain, rate);
                    f.b0 = k[0]; f.b1 = k[1]; f.b2 = k[2]; f.a1 = k[3]; f.a2 = k[4];
                }
                f.seenVersion = before;
            }
        }
        if (f.b0 == 1 && f.b1 == 0 && f.b2 == 0 && f.a1 == 0 && f.a2 == 0) continue;
        for (int ch = 0; ch < 2; ++ch) {
            double x1 = f.x1[ch], x2 = f.x2[ch], y1 = f.y1[ch], y2 = f.y2[ch];
            float* s = interleaved + ch;
            for (std::size_t k = 0; k < frames; ++k, s += 2) {
                const double x = *s;
                double y = f.b0 * x + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2;
                if (std::fabs(y) < 1e-30) y = 0.0;  // no denormal tails in silence
                x2 = x1;
                x1 = x;
                y2 = y1;
                y1 = y;
                *s = static_cast<float>(y);
            }
            f.x1[ch] = x1; f.x2[ch] = x2; f.y1[ch] = y1; f.y2[ch] = y2;
        }
    }
}

}  // namespace sound
