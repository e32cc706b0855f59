#pragma once
// The parametric equalisers of the global output.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace sound {

// Parametric equalisers in a chain, set from any thread and applied by the
// mixing thread from its next block on.
class EqChain {
public:
    static constexpr int capacity = 16;

    // Adds a flat equaliser at the end of the chain; its id, or -1 when full.
    int add();
    // Unknown ids are ignored. Non-finite values are ignored.
    void set(int id, float centre, float bandwidthSemitones, float gainDb);
    // Mixing thread only.
    void process(float* interleaved, std::size_t frames, int rate);

private:
    struct Slot {
        std::atomic<float> centre{1000.0f};
        std::atomic<float> bandwidth{12.0f};
        std::atomic<float> gain{0.0f};
        std::atomic<std::uint32_t> version{0};
    };
    struct Filter {
        std::uint32_t seenVersion = 0xffffffffu;
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double x1[2] = {0, 0}, x2[2] = {0, 0}, y1[2] = {0, 0}, y2[2] = {0, 0};
    };
    std::array<Slot, capacity> slots;
    std::array<Filter, capacity> filters;  // mixing thread's copy
    std::atomic<int> count{0};
};

// Peaking biquad coefficients (b0, b1, b2, a1, a2, normalised by a0).
std::array<double, 5> peakingCoefficients(double centre, double bandwidthSemitones, double gainDb, int rate);

}  // namespace sound
