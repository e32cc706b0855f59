// The threaded output's device watch, run by the mixing thread: a device
// that the system reports gone, or that stops taking sound, leaves the output
// to the silent clock, from where the sound stopped; a device that calls
// back steadily again is taken back in step with the song; one that went
// away or stays stalled is closed and the default device opened again every
// 2 s. Each change goes into the exit report.
#include <algorithm>

#include "platform/sound/audio_device.h"
#include "platform/sound/threaded_output.h"

namespace sound {

namespace {

using std::chrono::milliseconds;

// A server's sink may take sound in bursts (a null sink nobody records from
// does, some 150 ms apart), so only a long silence of the callback counts.
constexpr auto stallLimit = milliseconds(1000);
// A device fills its first buffer at once and may then wait for its sink's
// next block: a null sink up to 2 s, an output waking from suspend (USB,
// Bluetooth) 1 to 3 s. Until the device takes sound a second time, only a
// longer silence counts.
constexpr auto startLimit = milliseconds(5000);
// Callbacks this far after the first are past the first fill.
constexpr auto firstFillSpan = milliseconds(100);
// A device off the output is taken back once it calls back steadily: at
// least resumeCallbacks callbacks over resumeSpan, none more than resumeGap
// apart.
constexpr auto resumeSpan = milliseconds(300);
constexpr auto resumeGap = milliseconds(400);
constexpr std::uint32_t resumeCallbacks = 4;
// A device that went away, or takes no sound for this long, is closed and
// the default device opened again, every reopenInterval until one opens.
constexpr auto stalledReopen = milliseconds(2000);
constexpr auto reopenedWait = milliseconds(5000);
constexpr auto firstReopen = milliseconds(1000);
constexpr auto reopenInterval = milliseconds(2000);
// How far the silent clock may carry on past the last callback when the
// device is found to have stopped: the time it took to notice.
constexpr auto carryLimit = milliseconds(2000);

}  // namespace

// Mixing thread, with stateMutex held.
void ThreadedOutput::watchDevice(Clock::time_point now) {
    if (pacing.load(std::memory_order_relaxed) == Pacing::device) {
        if (!paused && deviceGone(now)) {
            const bool removed = device::lost();
            switchToSilence(removed ? "the audio device went away" : "the audio device stopped taking sound", now);
            if (removed) startReopen();
        }
    } else if (deviceOpen && !reopening && !paused) {
        if (device::lost() || now - offDeviceSince > (deviceRunning ? stalledReopen : reopenedWait)) {
            startReopen();
        } else if (callingBackSteadily(now)) {
            backOnDevice(now);
        }
    }
}

bool ThreadedOutput::deviceGone(Clock::time_point now) {
    // The system marks a device it lost (the sound server died, the card
    // was unplugged).
    if (device::lost()) return true;
    // A device can also just stop taking sound. Only time this thread was
    // running counts, so a stopped process (Ctrl-Z) is not taken for it.
    if (now - lastWatch > milliseconds(100)) watchedSince = now;
    lastWatch = now;
    const std::uint32_t seen = deviceClock.callbacks();
    // A device can take a while to open (about 0.4 s through a sound
    // server): the watch begins with its first callback.
    if (seen == 0 || seen != watchedCallbacks) {
        if (seen != 0 && firstCallbackAt == Clock::time_point{}) {
            firstCallbackAt = now;
        } else if (seen != 0 && now - firstCallbackAt > firstFillSpan) {
            deviceRunning = true;
        }
        watchedCallbacks = seen;
        watchedSince = now;
        return false;
    }
    return now - watchedSince > (deviceRunning ? stallLimit : startLimit);
}

// From here on the steady clock paces the output, carrying on from where the
// sound stopped. A device that went on playing until it was noticed counts
// its last callback as that moment, and the time since (at most carryLimit)
// as played in silence.
void ThreadedOutput::switchToSilence(const char* reason, Clock::time_point now) {
    // No callback reads the ring once this is done.
    device::lock();
    std::int64_t frame = 0;
    std::int64_t nanos = 0;
    deviceClock.last(frame, nanos);
    pacing.store(Pacing::silent, std::memory_order_release);
    device::unlock();
    std::int64_t since = nanos == 0 ? 0 : std::max<std::int64_t>(0, nanosNow() - nanos);
    const auto cap = deviceRunning ? std::chrono::nanoseconds(carryLimit).count()
                                   : static_cast<std::int64_t>(bufferFrames) * 1000000000 / sampleRate;
    since = std::min<std::int64_t>(since, cap);
    const std::int64_t from = std::max<std::int64_t>(0, frame + since * sampleRate / 1000000000);
    silent.setTo(from, now);
    deviceClock.release();
    startBehindClock = 0;
    catchingUp = true;
    offDeviceSince = now;
    resumeSince = {};
    outputProblem = report.stopped(reason, songFrames(from));
}

// Off the device while it is open: true once it calls back steadily again.
bool ThreadedOutput::callingBackSteadily(Clock::time_point now) {
    const std::uint32_t seen = deviceClock.callbacks();
    if (resumeSince == Clock::time_point{}) {
        resumeSince = resumeLastAt = now;
        resumeBase = resumeLast = seen;
        return false;
    }
    if (seen == resumeLast) {
        if (now - resumeLastAt > resumeGap) {
            resumeSince = now;
            resumeBase = seen;
        }
        return false;
    }
    if (now - resumeLastAt > resumeGap) {
        resumeSince = now;
        resumeBase = resumeLast;
    }
    resumeLast = seen;
    resumeLastAt = now;
    return now - resumeSince >= resumeSpan && seen - resumeBase >= resumeCallbacks;
}

// The device paces the output again, from where the silent clock is, so that
// the sound goes on in step with the song.
void ThreadedOutput::backOnDevice(Clock::time_point now) {
    const std::int64_t heard = silentFrameLocked(now);
    const std::int64_t held = heldFrames.load(std::memory_order_relaxed);
    device::lock();
    // The next callback's sound is heard once what the device holds has
    // played; the mix is at least the lead ahead of the silent clock.
    std::int64_t from = std::min(heard + held - bufferFrames, ring.mixed() - bufferFrames);
    from = std::max(from, ring.consumed());
    ring.setConsumed(from);
    deviceClock.publish(heard);
    pacing.store(Pacing::device, std::memory_order_release);
    device::unlock();
    watchedCallbacks = deviceClock.callbacks();
    watchedSince = lastWatch = now;
    deviceRunning = true;
    catchingUp = false;
    outputProblem = report.cameBack(songFrames(heard));
}

// With stateMutex held: hands the device to the reopening thread.
void ThreadedOutput::startReopen() {
    reopening = true;
    if (!reopener.joinable()) reopener = std::thread([this] { reopenLoop(); });
    reopenWake.notify_all();
}

// Closes the device that went away and opens the default device again every
// reopenInterval, until one opens or the output shuts down. The opened device
// calls back in silence until the mixing thread takes it back.
void ThreadedOutput::reopenLoop() {
    std::unique_lock<std::mutex> lock(stateMutex);
    for (;;) {
        reopenWake.wait(lock, [this] { return shuttingDown || reopening; });
        if (shuttingDown) return;
        if (deviceOpen) {
            lock.unlock();
            device::close();
            lock.lock();
            deviceOpen = false;
        }
        auto wait = firstReopen;
        for (;;) {
            if (reopenWake.wait_for(lock, wait, [this] { return shuttingDown; })) return;
            wait = reopenInterval;
            lock.unlock();
            std::string ignored;
            const bool opened = openDevice(ignored);
            lock.lock();
            if (!opened) continue;
            if (shuttingDown) {
                lock.unlock();
                device::close();
                return;
            }
            deviceOpen = true;
            reopening = false;
            deviceRunning = false;
            offDeviceSince = Clock::now();
            resumeSince = {};
            if (!paused) device::pause(false);
            break;
        }
    }
}

}  // namespace sound
