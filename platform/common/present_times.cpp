#include "platform/common/present_times.h"

#include <algorithm>
#include <cmath>
#include <iterator>

void PresentTimes::add(std::int64_t nanoseconds) {
    const std::int64_t step = std::clamp<std::int64_t>(nanoseconds / stepNanoseconds, 0, steps - 1);
    ++counts[step];
    ++total;
}

void PresentTimes::clear() {
    std::fill(std::begin(counts), std::end(counts), 0u);
    total = 0;
}

double PresentTimes::percentileMs(double percent) const {
    if (total == 0) return 0.0;
    // The rank of the frame that the share reaches, counted from 1.
    const auto rank = std::max<std::uint64_t>(1, std::uint64_t(std::ceil(double(total) * percent / 100.0)));
    std::uint64_t seen = 0;
    for (int step = 0; step < steps; ++step) {
        seen += counts[step];
        if (seen >= rank) return double(step + 1) * stepNanoseconds * 1e-6;
    }
    return double(steps) * stepNanoseconds * 1e-6;
}
