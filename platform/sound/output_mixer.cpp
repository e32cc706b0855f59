// The threaded output's mixing: the mixing thread that keeps the ring ahead
// of the device (or of the silent clock), the device's callback that copies
// from it and stamps the device clock, and the start of a song on the output.
#include <algorithm>

#include "platform/sound/audio_device.h"
#include "platform/sound/song.h"
#include "platform/sound/threaded_output.h"

namespace sound {

namespace {
constexpr int startMarginFrames = 4 * ThreadedOutput::bufferFrames;  // silence before a song starts
}  // namespace

void ThreadedOutput::putOnOutput(LiveSong& song) {
    // Held throughout: the device cannot leave the output or be reopened
    // meanwhile.
    std::lock_guard<std::mutex> state(stateMutex);
    const bool onDev = onDevice();
    const std::int64_t steadyFrame = silentFrameLocked(Clock::now());
    const std::int64_t clockFrame = onDev ? -1 : steadyFrame;
    // The device callback must not read the ring while its silent lead is
    // dropped; the device's lock keeps it out.
    if (onDev) device::lock();
    {
        std::lock_guard<std::mutex> lock(mixMutex);
        if (playing.load(std::memory_order_relaxed) == nullptr) {
            // Nothing played before: what is mixed ahead is silence, so the
            // song starts with what is heard next rather than after the lead.
            // Some margin, so the device (or the silent clock) finds the
            // start mixed.
            const std::int64_t from = std::max(clockFrame, ring.consumed()) + (onDev ? startMarginFrames : bufferFrames);
            ring.setMixed(std::min(ring.mixed(), from));
            if (onDev) startBehindClock = std::min<std::int64_t>(0, from - steadyFrame);
        }
        playing.store(&song, std::memory_order_release);
    }
    if (onDev) device::unlock();
    mixerWake.notify_all();
}

void ThreadedOutput::mixBlock(std::int64_t at) {
    float* out = block.data();
    if (LiveSong* song = playing.load(std::memory_order_acquire)) {
        song->mix(out, mixBlockFrames, at);
    } else {
        std::fill(out, out + mixBlockFrames * 2, 0.0f);
    }
    eq.process(out, mixBlockFrames, sampleRate);
    // Also while the silent clock paces the output: a device that takes
    // sound again goes on from the ring. The callback reads the ring only
    // while the device paces the output, and leaving or taking it back
    // happens under the device's lock.
    ring.write(at, out, mixBlockFrames);
}

void ThreadedOutput::deviceCallback(void* user, void* stream, int length) {
    auto* self = static_cast<ThreadedOutput*>(user);
    auto* out = static_cast<float*>(stream);
    const std::int64_t frames = length;
    if (self->pacing.load(std::memory_order_acquire) != Pacing::device) {
        // The silent clock paces the output; the calls tell the mixing thread
        // when the device takes sound again.
        std::fill(out, out + frames * 2, 0.0f);
        self->deviceClock.countCallback();
        self->mixerWake.notify_one();
        return;
    }
    const std::int64_t taken = self->ring.take(out, frames);
    // The newest block is heard once what the device already holds has played.
    self->deviceClock.publish(taken - self->heldFrames.load(std::memory_order_relaxed));
    self->deviceClock.countCallback();
    self->mixerWake.notify_one();
}

void ThreadedOutput::mixLoop() {
    // The device cannot play what is not mixed yet: keep this thread ahead
    // of a busy frame loop.
    device::raiseThreadPriority();
    for (;;) {
        std::int64_t consumer = 0;
        {
            std::unique_lock<std::mutex> lock(stateMutex);
            if (shuttingDown) return;
            const auto now = Clock::now();
            watchDevice(now);
            if (pacing.load(std::memory_order_relaxed) == Pacing::device) {
                consumer = ring.consumed();
                // A device that takes sound faster than real time gets
                // silence once the mix is a ring ahead of the steady clock
                // (counted from the song's start).
                consumer = std::min(consumer, silentFrameLocked(now) + startBehindClock + Ring::frames - leadFrames() -
                                                  mixBlockFrames);
            } else {
                if (paused) {
                    mixerWake.wait(lock);
                    continue;
                }
                consumer = silentFrameLocked(now);
                const std::int64_t mixed = ring.mixed();
                if (catchingUp && consumer <= mixed) catchingUp = false;
                if (!catchingUp && consumer > mixed + 4 * bufferFrames) {
                    // Far behind the clock (the process was stopped or
                    // starved): like a device after an underrun, carry on
                    // from where the music was instead of racing through
                    // the missed part.
                    const std::int64_t resume = mixed - leadFrames();
                    silent.moveBack(consumer - resume);
                    consumer = silentFrameLocked(now);
                }
            }
            if (ring.mixed() >= consumer + leadFrames()) {
                mixerWake.wait_for(lock, std::chrono::milliseconds(5));
                continue;
            }
        }
        std::lock_guard<std::mutex> lock(mixMutex);
        const std::int64_t at = ring.mixed();
        mixBlock(at);
        ring.setMixed(at + mixBlockFrames);
    }
}

}  // namespace sound
