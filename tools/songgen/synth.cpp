#include "tools/songgen/synth.h"

#include <cmath>
#include <cstdlib>

namespace songgen {
namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double ln2 = 0.69314718055994530942;

// sin(x) for |x| <= pi / 2 by its Taylor series; the error is below 1e-12.
double sineQuarter(double x) {
    const double x2 = x * x;
    double term = x;
    double sum = x;
    for (int n = 1; n <= 8; ++n) {
        term *= -x2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}

}  // namespace

double sine(double cycles) {
    double x = cycles - std::floor(cycles);  // [0, 1)
    if (x >= 0.5) x -= 1.0;                  // [-0.5, 0.5)
    if (x > 0.25) x = 0.5 - x;
    if (x < -0.25) x = -0.5 - x;
    return sineQuarter(2.0 * pi * x);
}

double cosine(double cycles) { return sine(cycles + 0.25); }

double expo(double x) {
    const double y = x / ln2;
    const double whole = std::floor(y);
    const double frac = (y - whole) * ln2;  // [0, ln 2)
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 16; ++n) {
        term *= frac / n;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(whole));
}

double semitones(double semis) { return expo(semis / 12.0 * ln2); }

double midiHz(double note) { return 440.0 * semitones(note - 69.0); }

double saturate(double x) {
    if (x > 20.0) return 1.0;
    if (x < -20.0) return -1.0;
    const double e = expo(2.0 * x);
    return (e - 1.0) / (e + 1.0);
}

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

double Random::bipolar() { return unit() * 2.0 - 1.0; }

void Filter::set(double cutoffHz, double q) {
    if (cutoffHz > rate * 0.45) cutoffHz = rate * 0.45;
    const double c = cutoffHz / (2.0 * rate);  // tan(pi f / fs) = sin / cos of this in cycles
    g_ = sine(c) / cosine(c);
    k_ = 1.0 / q;
}

void Filter::run(double in) {
    const double v1 = (s1_ + g_ * (in - s2_)) / (1.0 + g_ * (g_ + k_));
    const double v2 = s2_ + g_ * v1;
    s1_ = 2.0 * v1 - s1_;
    s2_ = 2.0 * v2 - s2_;
    low = v2;
    band = v1;
    high = in - k_ * v1 - v2;
}

double lowpassGain(double freq, double cutoff, int poles) {
    double r = freq / cutoff;
    double p = 1.0;
    for (int i = 0; i < poles; ++i) p *= r;
    // 1 / sqrt(1 + r^(2 poles)), by Newton's method on the square root.
    const double v = 1.0 + p * p;
    double s = v < 4.0 ? 1.0 + (v - 1.0) * 0.5 : v * 0.5;
    for (int i = 0; i < 60; ++i) s = 0.5 * (s + v / s);
    return 1.0 / s;
}

std::vector<std::int16_t> toPcm(const Signal& signal, double peak) {
    double largest = 0.0;
    for (double v : signal) largest = std::max(largest, std::abs(v));
    const double scale = largest > 0.0 ? peak * 32767.0 / largest : 0.0;
    std::vector<std::int16_t> pcm(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(std::lround(signal[i] * scale));
    }
    return pcm;
}

Signal renderPartials(const std::vector<Partial>& partials, int frames) {
    Signal out(static_cast<std::size_t>(frames), 0.0);
    // Each partial turns a unit phasor by a fixed step per frame; the phasor
    // is re-anchored from the exact phase every 1024 frames so rounding never
    // accumulates.
    for (const Partial& p : partials) {
        const double step = p.freq / rate;
        const double stepCos = cosine(step);
        const double stepSin = sine(step);
        for (int start = 0; start < frames; start += 1024) {
            const double phase = p.phase + step * start;
            double c = cosine(phase);
            double s = sine(phase);
            const int end = std::min(frames, start + 1024);
            for (int i = start; i < end; ++i) {
                out[static_cast<std::size_t>(i)] += p.amp * s;
                const double nc = c * stepCos - s * stepSin;
                s = s * stepCos + c * stepSin;
                c = nc;
            }
        }
    }
    return out;
}

}  // namespace songgen
