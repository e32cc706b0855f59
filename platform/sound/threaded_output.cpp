// The threaded output's life: opening, pausing, putting songs on and taking
// them off, and its clock; and the output calls (output.h) on systems with
// threads.
#include "platform/sound/threaded_output.h"

#include <algorithm>

#include "platform/sound/audio_device.h"
#include "platform/sound/output.h"
#include "platform/sound/song.h"

namespace sound {

namespace {
constexpr int minLeadFrames = sampleRate * 300 / 1000;
constexpr int maxEventDelayMs = 1000;
}  // namespace

ThreadedOutput& threadedOutput() {
    static ThreadedOutput instance;
    return instance;
}

bool ThreadedOutput::init() {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (initialised) return true;
    ring.allocate();
    block.assign(static_cast<std::size_t>(mixBlockFrames) * 2, 0.0f);
    // The ring starts with a lead of silence, so the device has something
    // to play before the mixing thread first runs.
    ring.setMixed(minLeadFrames);
    std::string problem;
    // The steady clock runs from here in either case: it paces the silent
    // output and bounds how far ahead of it a device may take the song.
    silent.start(Clock::now());
    if (openDevice(problem)) {
        deviceOpen = true;
        pacing.store(Pacing::device, std::memory_order_release);
    } else {
        outputProblem = problem.empty() ? "no audio device" : problem;
        pacing.store(Pacing::silent, std::memory_order_release);
    }
    lastWatch = watchedSince = Clock::now();
    mixer = std::thread([this] { mixLoop(); });
    initialised = true;
    if (deviceOpen) device::pause(false);
    return true;
}

bool ThreadedOutput::ready() {
    std::lock_guard<std::mutex> lock(stateMutex);
    return initialised;
}

bool ThreadedOutput::openDevice(std::string& problem) {
    device::Format format;
    format.rate = sampleRate;
    format.channels = 2;
    format.bufferFrames = bufferFrames;
    format.sample = device::SampleFormat::float32;
    if (!device::open(format, &ThreadedOutput::deviceCallback, this, problem)) return false;
    heldFrames.store(device::heldFrames(), std::memory_order_relaxed);
    return true;
}

void ThreadedOutput::shutdown() {
    std::map<LiveSong*, std::unique_ptr<SongDispatcher>> remaining;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (!initialised || shuttingDown) return;
        shuttingDown = true;
        remaining.swap(songs);
    }
    // Songs never freed still have dispatchers running: stop them first.
    {
        std::lock_guard<std::mutex> lock(mixMutex);
        playing.store(nullptr, std::memory_order_release);
    }
    for (auto& [song, dispatcher] : remaining) dispatcher->stop();
    mixerWake.notify_all();
    reopenWake.notify_all();
    if (mixer.joinable()) mixer.join();
    if (reopener.joinable()) reopener.join();
    if (deviceOpen) {
        device::close();
        deviceOpen = false;
    }
}

void ThreadedOutput::play(LiveSong& song) {
    SongDispatcher* dispatcher = nullptr;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (songs.count(&song) != 0) return;
        auto made = std::make_unique<SongDispatcher>(song, [this] { return audibleFrame() - eventDelayFrames(); });
        dispatcher = made.get();
        songs.emplace(&song, std::move(made));
    }
    dispatcher->start();
    putOnOutput(song);
}

bool ThreadedOutput::stop(LiveSong& song) {
    std::unique_ptr<SongDispatcher> dispatcher;
    bool running = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (auto it = songs.find(&song); it != songs.end()) {
            dispatcher = std::move(it->second);
            songs.erase(it);
        }
        running = initialised;
    }
    if (running) {
        // Once the mixing lock is taken the mixer cannot be inside the song.
        std::lock_guard<std::mutex> lock(mixMutex);
        if (playing.load(std::memory_order_relaxed) == &song) playing.store(nullptr, std::memory_order_release);
    }
    if (dispatcher && !dispatcher->stop()) {
        // Stopped from one of its own callbacks: the dispatcher still runs on
        // this stack and reads the song once the callback returns, so both
        // are left allocated (the song plays no more and calls nothing).
        dispatcher.release();
        return false;
    }
    return true;
}

void ThreadedOutput::setPaused(bool pause) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (!initialised || pause == paused) return;
    paused = pause;
    const auto now = Clock::now();
    if (pause) {
        silent.pause(now);
    } else {
        silent.resume(now);
    }
    if (onDevice()) {
        if (pause) {
            deviceClock.hold(std::max<std::int64_t>(0, deviceClock.frame()));
            device::pause(true);
        } else {
            device::pause(false);
            deviceClock.release();
        }
    } else if (deviceOpen && !reopening) {
        device::pause(pause);
        resumeSince = {};
    }
    // The device watch starts again from here.
    watchedSince = lastWatch = now;
    offDeviceSince = now;
    mixerWake.notify_all();
}

void ThreadedOutput::setEventDelay(int ms) {
    ms = std::clamp(ms, -maxEventDelayMs, maxEventDelayMs);
    eventDelay.store(static_cast<std::int64_t>(ms) * sampleRate / 1000, std::memory_order_release);
    mixerWake.notify_all();
}

std::string ThreadedOutput::problem() {
    std::lock_guard<std::mutex> lock(stateMutex);
    return outputProblem;
}

std::int64_t ThreadedOutput::audibleFrame() {
    if (onDevice()) return deviceClock.frame();
    std::lock_guard<std::mutex> lock(stateMutex);
    if (pacing.load(std::memory_order_acquire) == Pacing::device) return deviceClock.frame();
    return silentFrameLocked(Clock::now());
}

std::int64_t ThreadedOutput::songFrames(std::int64_t outputFrame) {
    std::lock_guard<std::mutex> lock(mixMutex);
    if (LiveSong* song = playing.load(std::memory_order_relaxed)) return outputFrame - song->firstFrame();
    return outputFrame;
}

std::int64_t ThreadedOutput::leadFrames() const {
    // Far enough ahead that a busy machine cannot starve the device, and that
    // events wanted before they are heard are already mixed.
    const std::int64_t early = -eventDelayFrames();
    return std::max<std::int64_t>(minLeadFrames, early + mixBlockFrames);
}

namespace output {

bool init() { return threadedOutput().init(); }
bool ready() { return threadedOutput().ready(); }
void setPaused(bool paused) { threadedOutput().setPaused(paused); }
EqChain& equalisers() { return threadedOutput().equalisers(); }
void play(LiveSong& song) { threadedOutput().play(song); }
bool stop(LiveSong& song) { return threadedOutput().stop(song); }
int order(LiveSong& song) { return song.order(); }
std::string problem() { return threadedOutput().problem(); }
void setEventDelayMs(int ms) { threadedOutput().setEventDelay(ms); }

}  // namespace output

}  // namespace sound
