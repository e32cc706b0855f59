#pragma once
// The ring of mixed frames between the mixing thread, which writes ahead,
// and the audio device's callback, which copies from it: output frames, with
// how far each side has come.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace sound {

class Ring {
public:
    static constexpr int frames = 1 << 16;  // 1.49 s, more than the longest lead

    void allocate() { samples.assign(static_cast<std::size_t>(frames) * 2, 0.0f); }

    // Mixing thread: output frames `at` onwards, `count` of them.
    void write(std::int64_t at, const float* block, std::int64_t count) {
        for (std::int64_t done = 0; done < count;) {
            const std::int64_t pos = (at + done) % frames;
            const std::int64_t run = std::min<std::int64_t>(count - done, frames - pos);
            std::copy_n(block + done * 2, run * 2, samples.data() + pos * 2);
            done += run;
        }
    }

    // Device callback: copies `count` frames from where the device is, and
    // silence for those not mixed yet (counted as underrun). Returns where
    // the device is now.
    std::int64_t take(float* out, std::int64_t count) {
        const std::int64_t from = consumedFrames.load(std::memory_order_relaxed);
        const std::int64_t ready = mixedFrames.load(std::memory_order_acquire) - from;
        const std::int64_t taken = std::clamp<std::int64_t>(ready, 0, count);
        for (std::int64_t done = 0; done < taken;) {
            const std::int64_t at = (from + done) % frames;
            const std::int64_t run = std::min(taken - done, frames - at);
            std::copy_n(samples.data() + at * 2, run * 2, out + done * 2);
            done += run;
        }
        if (taken < count) {
            std::fill(out + taken * 2, out + count * 2, 0.0f);
            underrun.fetch_add(count - taken, std::memory_order_relaxed);
        }
        consumedFrames.store(from + taken, std::memory_order_release);
        return from + taken;
    }

    // Output frames mixed into the ring so far.
    std::int64_t mixed() const { return mixedFrames.load(std::memory_order_acquire); }
    void setMixed(std::int64_t frame) { mixedFrames.store(frame, std::memory_order_release); }
    // Output frames the device took from it.
    std::int64_t consumed() const { return consumedFrames.load(std::memory_order_acquire); }
    void setConsumed(std::int64_t frame) { consumedFrames.store(frame, std::memory_order_release); }
    // Frames of silence the device got for want of mixed ones.
    std::int64_t underrunFrames() const { return underrun.load(std::memory_order_relaxed); }

private:
    std::vector<float> samples;
    std::atomic<std::int64_t> mixedFrames{0};
    std::atomic<std::int64_t> consumedFrames{0};
    std::atomic<std::int64_t> underrun{0};
};

}  // namespace sound
