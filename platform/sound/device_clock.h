#pragma once
// The device clock: which output frame the audio device has heard, from the
// frame and the moment published after each of its callbacks, read from any
// thread without a lock (an odd/even sequence count guards the pair).
#include <atomic>
#include <chrono>
#include <cstdint>

namespace sound {

std::int64_t nanosNow();  // the steady clock, in nanoseconds

class DeviceClock {
public:
    explicit DeviceClock(int bufferFrames) : buffer(bufferFrames) {}

    // Output frame `frame` is heard now. One writer at a time (the device's
    // callback, or the mixing thread with the device locked).
    void publish(std::int64_t frame);
    // The last frame published and when (nanos 0: never).
    void last(std::int64_t& frame, std::int64_t& nanos) const;
    // The frame heard now: the last one published plus the time since, at
    // most one buffer (the device plays on between callbacks); the frame held
    // while paused; 0 before the first callback.
    std::int64_t frame() const;
    // Holds the clock at `frame` while the device is paused, or lets it run.
    void hold(std::int64_t frame) { pausedFrame.store(frame); }
    void release() { pausedFrame.store(-1); }

    // The device's callbacks, counted for the device watch.
    void countCallback() { calls.fetch_add(1, std::memory_order_release); }
    std::uint32_t callbacks() const { return calls.load(std::memory_order_acquire); }

private:
    const int buffer;
    std::atomic<std::uint32_t> sequence{0};
    std::atomic<std::int64_t> anchorFrame{0};
    std::atomic<std::int64_t> anchorNanos{0};
    std::atomic<std::int64_t> pausedFrame{-1};
    std::atomic<std::uint32_t> calls{0};
};

}  // namespace sound
