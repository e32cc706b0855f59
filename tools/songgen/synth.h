#pragma once
// Building blocks of the instrument synthesis. Everything here is computed
// with additions and multiplications only (no libm transcendental calls), so
// the generated samples come out bit for bit the same whatever compiler,
// optimisation level or C library builds the generator.
#include <cstdint>
#include <vector>

namespace songgen {

using Signal = std::vector<double>;

inline constexpr int rate = 44100;  // every sample is synthesised at this rate

// sin(2 pi cycles) and cos(2 pi cycles).
double sine(double cycles);
double cosine(double cycles);
// e^x, and 2^(semis / 12).
double expo(double x);
double semitones(double semis);
// Frequency in Hz of a MIDI note number (69 = A4 = 440 Hz).
double midiHz(double note);
// A smooth saturation shaped like tanh.
double saturate(double x);

// Deterministic noise source (SplitMix64).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double bipolar();  // uniform in [-1, 1)
    double unit();     // uniform in [0, 1)

private:
    std::uint64_t state_;
};

// Topology-preserving state-variable filter: one input, three outputs.
class Filter {
public:
    void set(double cutoffHz, double q);
    void run(double in);
    double low = 0.0, band = 0.0, high = 0.0;

private:
    double g_ = 0.0, k_ = 1.0, s1_ = 0.0, s2_ = 0.0;
};

// Gain of a smooth low-pass of the given slope (in poles) at freq for a cutoff.
double lowpassGain(double freq, double cutoff, int poles);

// Scales a signal so that its largest magnitude becomes `peak` (of full scale)
// and converts it to 16-bit frames.
std::vector<std::int16_t> toPcm(const Signal& signal, double peak = 0.98);

// One partial of an additive voice: frequency in Hz, amplitude, start phase
// in cycles.
struct Partial {
    double freq;
    double amp;
    double phase;
};

// Adds a band-limited sawtooth at `freq` with harmonics up to `maxHz`, each
// harmonic k weighted by 1/k times `tilt(k * freq)`; `odd` keeps only odd
// harmonics (a square wave).
template <class Tilt>
void addSaw(std::vector<Partial>& partials, double freq, double amp, double maxHz, double phase, bool odd, Tilt tilt) {
    for (int k = 1; k * freq < maxHz; ++k) {
        if (odd && k % 2 == 0) continue;
        partials.push_back({k * freq, amp / k * tilt(k * freq), phase * k});
    }
}

// Sums the partials over `frames` frames.
Signal renderPartials(const std::vector<Partial>& partials, int frames);

}  // namespace songgen
