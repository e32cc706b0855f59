#pragma once
// The silent clock: paces the output on the steady clock when no device does,
// as active time summed while the output is not paused. Under the output's
// state lock.
#include <chrono>
#include <cstdint>

#include "platform/sound/offline.h"

namespace sound {

class SilentClock {
public:
    using Clock = std::chrono::steady_clock;

    std::int64_t frame(Clock::time_point now, bool paused) const {
        const Clock::duration active = before + (paused ? Clock::duration{} : now - resumedAt);
        return std::chrono::duration_cast<std::chrono::nanoseconds>(active).count() * sampleRate / 1000000000;
    }
    void start(Clock::time_point now) { resumedAt = now; }
    void pause(Clock::time_point now) { before += now - resumedAt; }
    void resume(Clock::time_point now) { resumedAt = now; }
    // Runs on from output frame `frame` from `now`.
    void setTo(std::int64_t frame, Clock::time_point now) {
        before = std::chrono::nanoseconds(frame * 1000000000 / sampleRate);
        resumedAt = now;
    }
    // Goes back by `frames`.
    void moveBack(std::int64_t frames) { before -= std::chrono::nanoseconds(frames * 1000000000 / sampleRate); }

private:
    Clock::duration before{};
    Clock::time_point resumedAt{};
};

}  // namespace sound
