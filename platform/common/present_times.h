#pragma once
// How long each frame took from its cells to the screen, kept as a
// histogram of fixed size (10 microsecond steps up to 200 ms, the rest in
// the last step) so that recording a frame allocates nothing.
#include <cstdint>

class PresentTimes {
public:
    void add(std::int64_t nanoseconds);
    void clear();
    std::uint64_t count() const { return total; }
    // The time below which `percent` of the frames stayed, in milliseconds:
    // the upper edge of the step that holds that frame; 0 before any frame.
    double percentileMs(double percent) const;

private:
    static constexpr int stepNanoseconds = 10000;
    static constexpr int steps = 20000;
    std::uint32_t counts[steps] = {};
    std::uint64_t total = 0;
};
