#pragma once
// The events a song's mixer found, on their way to whoever hands them on when
// they are heard: a fixed ring with one producer (the mixing thread, or the
// page's) and one consumer (the song's dispatcher), without locks.
#include <array>
#include <atomic>
#include <cstdint>

#include "platform/sound/song_stepper.h"

namespace sound {

class EventQueue {
public:
    // False, leaving the queue as it was, when it is full.
    bool push(const PlayEvent& e) {
        const std::uint32_t head = headIndex.load(std::memory_order_relaxed);
        if (head - tailIndex.load(std::memory_order_acquire) >= capacity) return false;
        events[head % capacity] = e;
        headIndex.store(head + 1, std::memory_order_release);
        return true;
    }
    // The oldest event, left in the queue; false when there is none.
    bool peek(PlayEvent& e) const {
        const std::uint32_t tail = tailIndex.load(std::memory_order_relaxed);
        if (tail == headIndex.load(std::memory_order_acquire)) return false;
        e = events[tail % capacity];
        return true;
    }
    void pop() { tailIndex.store(tailIndex.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
    static constexpr std::uint32_t capacity = 4096;
    std::array<PlayEvent, capacity> events{};
    std::atomic<std::uint32_t> headIndex{0};
    std::atomic<std::uint32_t> tailIndex{0};
};

}  // namespace sound
