#include "tests/tools/test_audio_device.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sound/audio_device.h"

namespace {

using Clock = std::chrono::steady_clock;

std::mutex pullMutex;  // held across each pull; lock() and unlock() take it
std::thread puller;
std::atomic<bool> running{false};
std::atomic<bool> paused{true};
std::atomic<bool> stalled{false};
std::atomic<bool> gone{false};
std::atomic<int> failures{0};
std::atomic<int> openCount{0};
std::atomic<int> buffer{0};
std::atomic<std::int64_t> taken{0};
std::atomic<float> loudest{0.0f};

void pullLoop(sound::device::Format format, sound::device::Pull pull, void* user) {
    std::vector<float> samples(static_cast<std::size_t>(format.bufferFrames * format.channels));
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(format.bufferFrames) / format.rate));
    auto next = Clock::now();
    while (running.load()) {
        next += period;
        std::this_thread::sleep_until(next);
        if (paused.load() || stalled.load() || gone.load()) continue;
        {
            std::lock_guard<std::mutex> lock(pullMutex);
            pull(user, samples.data(), format.bufferFrames);
        }
        float peak = loudest.load();
        for (float s : samples) peak = std::max(peak, std::fabs(s));
        loudest.store(peak);
        taken.fetch_add(format.bufferFrames);
    }
}

}  // namespace

namespace testdevice {

void failOpens(int count) { failures.store(count); }
void stall(bool stop) { stalled.store(stop); }
void goAway() { gone.store(true); }
int opens() { return openCount.load(); }
int bufferFrames() { return buffer.load(); }
std::int64_t framesTaken() { return taken.load(); }
float takeLoudest() { return loudest.exchange(0.0f); }

}  // namespace testdevice

namespace sound::device {

bool open(const Format& format, Pull pull, void* user, std::string& problem) {
    close();
    if (failures.load() > 0) {
        failures.fetch_sub(1);
        problem = "the test device would not open";
        return false;
    }
    gone.store(false);
    paused.store(true);
    buffer.store(format.bufferFrames);
    running.store(true);
    puller = std::thread(pullLoop, format, pull, user);
    openCount.fetch_add(1);
    return true;
}

void close() {
    running.store(false);
    if (puller.joinable()) puller.join();
}

void pause(bool pause) { paused.store(pause); }
void lock() { pullMutex.lock(); }
void unlock() { pullMutex.unlock(); }
bool lost() { return gone.load(); }
int heldFrames() { return 2 * buffer.load(); }
std::string driverName() { return "test"; }
void raiseThreadPriority() {}

}  // namespace sound::device
