#include "platform/sound/device_clock.h"

#include <algorithm>
#include <thread>

#include "platform/sound/offline.h"

namespace sound {

std::int64_t nanosNow() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void DeviceClock::publish(std::int64_t frame) {
    sequence.fetch_add(1, std::memory_order_acq_rel);
    anchorFrame.store(frame, std::memory_order_release);
    anchorNanos.store(nanosNow(), std::memory_order_release);
    sequence.fetch_add(1, std::memory_order_release);
}

void DeviceClock::last(std::int64_t& frame, std::int64_t& nanos) const {
    for (;;) {
        const std::uint32_t before = sequence.load(std::memory_order_acquire);
        frame = anchorFrame.load(std::memory_order_acquire);
        nanos = anchorNanos.load(std::memory_order_acquire);
        if ((before & 1u) == 0 && sequence.load(std::memory_order_acquire) == before) return;
        std::this_thread::yield();
    }
}

std::int64_t DeviceClock::frame() const {
    const std::int64_t held = pausedFrame.load();
    if (held >= 0) return held;
    std::int64_t frame = 0;
    std::int64_t nanos = 0;
    last(frame, nanos);
    if (nanos == 0) return 0;  // no callback yet
    const std::int64_t since = std::max<std::int64_t>(0, nanosNow() - nanos) * sampleRate / 1000000000;
    return std::max<std::int64_t>(0, frame + std::min<std::int64_t>(since, buffer));
}

}  // namespace sound
