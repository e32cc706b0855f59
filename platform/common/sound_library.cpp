// The live sound output: one global output that mixes the playing song and the
// equalisers. A mixing thread renders ahead into a ring of decoded frames, at
// least 300 ms ahead of what is heard, so that the audio device only
// copies from it and a busy machine cannot starve it. Without a device, or
// once the device goes away, the steady clock paces the output in silence,
// from where the music is. The mixing thread alone touches the libopenmpt
// module; the order changes and note starts it finds travel to each song's
// own dispatch thread through a lock-free queue, stamped with the output
// frame at which they are heard, and the dispatcher calls the instrument
// callbacks and publishes the order when the output reaches that frame
// (shifted by the event delay).
#include "platform/sound_library.h"

#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/common/audio_device.h"
#include "platform/common/sound_engine.h"
#include "platform/common/sound_live.h"
#include "platform/common/sound_offline.h"
#include "platform/common/sound_song.h"

namespace sound {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int bufferFrames = 1024;  // the device buffer asked for

// Single producer (the mixing thread), single consumer (the song's dispatcher).
class EventQueue {
public:
    bool push(const PlayEvent& e) {
        const std::uint32_t head = headIndex.load(std::memory_order_relaxed);
        if (head - tailIndex.load(std::memory_order_acquire) >= capacity) return false;
        events[head % capacity] = e;
        headIndex.store(head + 1, std::memory_order_release);
        return true;
    }
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

}  // namespace

class LiveSong : public EventSink {
public:
    LiveSong(FMUSIC_MODULE* owner, std::unique_ptr<openmpt::module> module)
        : handle(owner), stepper(std::move(module)) {}
    ~LiveSong() { stop(); }

    // Mixing thread: render the song's next frames, starting at output frame
    // `outputBase` for the first of them.
    void mix(float* out, std::size_t frames, std::int64_t outputBase) {
        if (startFrame < 0) startFrame = outputBase;
        stepper.render(out, frames, *this);
    }
    void event(const PlayEvent& e) override {
        PlayEvent stamped = e;
        stamped.frame += startFrame;
        if (!queue.push(stamped)) dropped.fetch_add(1, std::memory_order_relaxed);
    }

    void start();
    // Stops the dispatcher; false when called from the dispatcher itself (a
    // callback freeing its own song), which then ends on its own.
    bool stop();
    int order() const { return heardOrder.load(std::memory_order_acquire); }
    // Output frame of the song's first sample; -1 before it is mixed. Mixing
    // thread, or with the mixing lock held.
    std::int64_t firstFrame() const { return startFrame; }
    bool started() const { return dispatcher.joinable(); }

private:
    void dispatchLoop();

    FMUSIC_MODULE* handle;
    SongStepper stepper;
    std::int64_t startFrame = -1;  // mixing thread only
    EventQueue queue;
    std::atomic<int> heardOrder{0};
    std::atomic<std::uint32_t> dropped{0};
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool stopping = false;  // under wakeMutex
    std::thread dispatcher;
};

namespace {

// How the output is paced. The device mode hands the mix to the audio
// device; the silent mode follows the steady clock, from the start when no
// device opens, or from the moment the device goes away.
enum class Pacing : std::uint32_t { none, device, silent };

constexpr int blockFrames = 256;         // what the mixing thread renders at a time
constexpr int ringFrames = 1 << 16;      // 1.49 s, more than the longest lead
constexpr int minLeadFrames = sampleRate * 300 / 1000;
constexpr int startMarginFrames = 4 * bufferFrames;  // silence before a song starts
constexpr int maxEventDelayMs = 1000;
// A server's sink may take sound in bursts (a null sink nobody records from
// does, some 150 ms apart), so only a long silence of the callback counts.
constexpr auto stallLimit = std::chrono::milliseconds(1000);
// A device fills its first buffer at once and may then wait for its sink's
// next block: a null sink up to 2 s, an output waking from suspend (USB,
// Bluetooth) 1 to 3 s. Until the device takes sound a second time, only a
// longer silence counts.
constexpr auto startLimit = std::chrono::milliseconds(5000);
// Callbacks this far after the first are past the first fill.
constexpr auto firstFillSpan = std::chrono::milliseconds(100);
// A device off the output is taken back once it calls back steadily: at
// least resumeCallbacks callbacks over resumeSpan, none more than resumeGap
// apart.
constexpr auto resumeSpan = std::chrono::milliseconds(300);
constexpr auto resumeGap = std::chrono::milliseconds(400);
constexpr std::uint32_t resumeCallbacks = 4;
// A device that went away, or takes no sound for this long, is closed and
// the default device opened again, every reopenInterval until one opens.
constexpr auto stalledReopen = std::chrono::milliseconds(2000);
constexpr auto reopenedWait = std::chrono::milliseconds(5000);
constexpr auto firstReopen = std::chrono::milliseconds(1000);
constexpr auto reopenInterval = std::chrono::milliseconds(2000);
// How far the silent clock may carry on past the last callback when the
// device is found to have stopped: the time it took to notice.
constexpr auto carryLimit = std::chrono::milliseconds(2000);
// Lines of the exit report kept; later gaps are only counted.
constexpr int reportedGaps = 4;

class Output {
public:
    ~Output() { shutdown(); }

    bool init();
    void shutdown();
    void setPaused(bool paused);
    void play(LiveSong* song);
    void forget(LiveSong* song);
    std::int64_t audibleFrame();
    std::string problem() {
        std::lock_guard<std::mutex> lock(stateMutex);
        return outputProblem;
    }
    bool onDevice() const { return pacing.load(std::memory_order_acquire) == Pacing::device; }
    EqChain& equalisers() { return eq; }
    bool ready() {
        std::lock_guard<std::mutex> lock(stateMutex);
        return initialised;
    }
    void registerSong(LiveSong* song) {
        std::lock_guard<std::mutex> lock(stateMutex);
        songs.insert(song);
    }
    void setEventDelay(int ms) {
        ms = std::clamp(ms, -maxEventDelayMs, maxEventDelayMs);
        eventDelay.store(static_cast<std::int64_t>(ms) * sampleRate / 1000, std::memory_order_release);
        mixerWake.notify_all();
    }
    std::int64_t eventDelayFrames() const { return eventDelay.load(std::memory_order_acquire); }
    std::int64_t underrunFrames() const { return underrun.load(std::memory_order_relaxed); }
    int deviceLatencyFrames() const { return heldFrames.load(std::memory_order_relaxed); }

private:
    static void deviceCallback(void* user, void* stream, int frames);
    void mixLoop();
    void mixBlock(std::int64_t at);
    bool openDevice(std::string& problem);
    bool deviceGone(Clock::time_point now);
    void switchToSilence(const char* reason, Clock::time_point now);
    bool callingBackSteadily(Clock::time_point now);
    void backOnDevice(Clock::time_point now);
    void startReopen();
    void reopenLoop();
    std::int64_t songFrames(std::int64_t outputFrame);
    void report(const std::string& current);
    std::int64_t leadFrames() const;
    std::int64_t deviceFrame();
    std::int64_t silentFrameLocked(Clock::time_point now) const;

    std::mutex stateMutex;  // initialisation, pause state, the problem and the silent clock
    bool initialised = false;
    bool shuttingDown = false;
    bool paused = false;
    std::string outputProblem;
    bool deviceOpen = false;  // the back-end holds an open device
    bool reopening = false;   // the reopening thread owns the device
    std::set<LiveSong*> songs;
    std::atomic<Pacing> pacing{Pacing::none};

    // The mixing thread renders into the ring ahead of the consumer (the
    // device callback, or the silent clock). `mixMutex` is held while it
    // renders a block, so that a song taken off the output is no longer in use.
    std::mutex mixMutex;
    std::atomic<LiveSong*> playing{nullptr};
    EqChain eq;
    std::vector<float> ring;                  // ringFrames stereo frames
    std::vector<float> block;                 // the block being mixed
    std::atomic<std::int64_t> mixedFrames{0}; // output frames rendered into the ring
    std::atomic<std::int64_t> consumedFrames{0};  // frames the device took from it
    std::atomic<std::int64_t> underrun{0};    // frames of silence the device got instead
    std::atomic<std::int64_t> eventDelay{0};  // frames; positive: events after the sound
    std::atomic<int> heldFrames{2 * bufferFrames};  // what the device holds after a callback
    std::condition_variable mixerWake;
    std::thread mixer;

    // Device clock: after each device callback, the frame heard then and when,
    // published under an odd/even sequence count.
    std::atomic<std::uint32_t> anchorSequence{0};
    std::atomic<std::int64_t> anchorFrame{0};
    std::atomic<std::int64_t> anchorNanos{0};
    std::atomic<std::int64_t> pausedFrame{-1};  // frame held while paused
    std::atomic<std::uint32_t> callbacks{0};

    // Watchdog of the mixing thread: a device that stops calling back for
    // longer than stallLimit while this thread kept running is taken as gone.
    std::uint32_t watchedCallbacks = 0;
    Clock::time_point watchedSince{};
    Clock::time_point lastWatch{};
    Clock::time_point firstCallbackAt{};  // the watch's first sight of a callback
    bool deviceRunning = false;  // took sound after its first fill

    // Off the device while it stays open (stalled, or opened again): the
    // watch for steady callbacks that take it back, under stateMutex.
    Clock::time_point offDeviceSince{};
    std::uint32_t resumeBase = 0;
    std::uint32_t resumeLast = 0;
    Clock::time_point resumeSince{};
    Clock::time_point resumeLastAt{};
    bool catchingUp = false;  // the silent clock was set ahead of the mix
    std::thread reopener;
    std::condition_variable reopenWake;

    // The exit report: gaps closed so far, and where the current one began.
    std::string gapsReported;
    int gapCount = 0;
    std::string gapReason;
    std::string gapFrom;  // m:ss

    // Silent clock: active time is summed while not paused (under stateMutex).
    Clock::duration activeBefore{};
    Clock::time_point resumedAt{};
    // How far behind the steady clock the first song started on the device
    // (0 or less, under stateMutex): a device slow to open or to start had
    // not yet taken the silent lead then. The bound on how far ahead a device
    // may take the song counts from the song's start, so such a device, if it
    // then takes sound faster than real time, gets the song no more than a
    // ring ahead either. Back to 0 where the silent clock is set to the sound.
    std::int64_t startBehindClock = 0;
};

Output& output() {
    static Output instance;
    return instance;
}

std::int64_t nanosNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

std::string songPoint(std::int64_t frames) {
    const std::int64_t secondsIn = std::max<std::int64_t>(0, frames) / sampleRate;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(secondsIn / 60),
                  static_cast<long long>(secondsIn % 60));
    return text;
}

bool Output::init() {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (initialised) return true;
    ring.assign(static_cast<std::size_t>(ringFrames) * 2, 0.0f);
    block.assign(static_cast<std::size_t>(blockFrames) * 2, 0.0f);
    // The ring starts with a lead of silence, so the device has something
    // to play before the mixing thread first runs.
    mixedFrames.store(minLeadFrames, std::memory_order_release);
    std::string problem;
    // The steady clock runs from here in either case: it paces the silent
    // output and bounds how far ahead of it a device may take the song.
    resumedAt = Clock::now();
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

bool Output::openDevice(std::string& problem) {
    device::Format format;
    format.rate = sampleRate;
    format.channels = 2;
    format.bufferFrames = bufferFrames;
    format.sample = device::SampleFormat::float32;
    if (!device::open(format, &Output::deviceCallback, this, problem)) return false;
    heldFrames.store(device::heldFrames(), std::memory_order_relaxed);
    return true;
}

void Output::shutdown() {
    std::set<LiveSong*> remaining;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (!initialised || shuttingDown) return;
        shuttingDown = true;
        remaining = songs;
    }
    // Songs never freed still have dispatchers running: stop them first.
    {
        std::lock_guard<std::mutex> lock(mixMutex);
        playing.store(nullptr, std::memory_order_release);
    }
    for (LiveSong* song : remaining) song->stop();
    mixerWake.notify_all();
    reopenWake.notify_all();
    if (mixer.joinable()) mixer.join();
    if (reopener.joinable()) reopener.join();
    if (deviceOpen) {
        device::close();
        deviceOpen = false;
    }
}

void Output::play(LiveSong* song) {
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
            const std::int64_t from = std::max(clockFrame, consumedFrames.load(std::memory_order_relaxed)) +
                                      (onDev ? startMarginFrames : bufferFrames);
            const std::int64_t mixed = mixedFrames.load(std::memory_order_relaxed);
            mixedFrames.store(std::min(mixed, from), std::memory_order_release);
            if (onDev) startBehindClock = std::min<std::int64_t>(0, from - steadyFrame);
        }
        playing.store(song, std::memory_order_release);
    }
    if (onDev) device::unlock();
    mixerWake.notify_all();
}

void Output::forget(LiveSong* song) {
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        songs.erase(song);
        if (!initialised) return;
    }
    // Once the mixing lock is taken the mixer cannot be inside the song.
    std::lock_guard<std::mutex> lock(mixMutex);
    if (playing.load(std::memory_order_relaxed) == song) playing.store(nullptr, std::memory_order_release);
}

void Output::setPaused(bool pause) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (!initialised || pause == paused) return;
    paused = pause;
    const auto now = Clock::now();
    if (pause) {
        activeBefore += now - resumedAt;
    } else {
        resumedAt = now;
    }
    if (onDevice()) {
        if (pause) {
            pausedFrame.store(std::max<std::int64_t>(0, deviceFrame()));
            device::pause(true);
        } else {
            device::pause(false);
            pausedFrame.store(-1);
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

std::int64_t Output::silentFrameLocked(Clock::time_point now) const {
    Clock::duration active = activeBefore + (paused ? Clock::duration{} : now - resumedAt);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(active).count() * sampleRate / 1000000000;
}

std::int64_t Output::deviceFrame() {
    const std::int64_t held = pausedFrame.load();
    if (held >= 0) return held;
    std::int64_t frame = 0;
    std::int64_t nanos = 0;
    for (;;) {
        const std::uint32_t before = anchorSequence.load(std::memory_order_acquire);
        frame = anchorFrame.load(std::memory_order_acquire);
        nanos = anchorNanos.load(std::memory_order_acquire);
        if ((before & 1u) == 0 && anchorSequence.load(std::memory_order_acquire) == before) break;
        std::this_thread::yield();
    }
    if (nanos == 0) return 0;  // no callback yet
    // Between callbacks the device plays on: add the time since the last one,
    // at most one buffer.
    const std::int64_t since = std::max<std::int64_t>(0, nanosNow() - nanos) * sampleRate / 1000000000;
    return std::max<std::int64_t>(0, frame + std::min<std::int64_t>(since, bufferFrames));
}

std::int64_t Output::audibleFrame() {
    if (onDevice()) return deviceFrame();
    std::lock_guard<std::mutex> lock(stateMutex);
    if (pacing.load(std::memory_order_acquire) == Pacing::device) return deviceFrame();
    return silentFrameLocked(Clock::now());
}

std::int64_t Output::leadFrames() const {
    // Far enough ahead that a busy machine cannot starve the device, and that
    // events wanted before they are heard are already mixed.
    const std::int64_t early = -eventDelayFrames();
    return std::max<std::int64_t>(minLeadFrames, early + blockFrames);
}

void Output::mixBlock(std::int64_t at) {
    float* out = block.data();
    if (LiveSong* song = playing.load(std::memory_order_acquire)) {
        song->mix(out, blockFrames, at);
    } else {
        std::fill(out, out + blockFrames * 2, 0.0f);
    }
    eq.process(out, blockFrames, sampleRate);
    // Also while the silent clock paces the output: a device that takes
    // sound again goes on from the ring. The callback reads the ring only
    // while the device paces the output, and leaving or taking it back
    // happens under the device's lock.
    for (std::int64_t done = 0; done < blockFrames;) {
        const std::int64_t pos = (at + done) % ringFrames;
        const std::int64_t run = std::min<std::int64_t>(blockFrames - done, ringFrames - pos);
        std::copy_n(out + done * 2, run * 2, ring.data() + pos * 2);
        done += run;
    }
}

void Output::deviceCallback(void* user, void* stream, int length) {
    auto* self = static_cast<Output*>(user);
    auto* out = static_cast<float*>(stream);
    const std::int64_t frames = length;
    if (self->pacing.load(std::memory_order_acquire) != Pacing::device) {
        // The silent clock paces the output; the calls tell the mixing thread
        // when the device takes sound again.
        std::fill(out, out + frames * 2, 0.0f);
        self->callbacks.fetch_add(1, std::memory_order_release);
        self->mixerWake.notify_one();
        return;
    }
    const std::int64_t from = self->consumedFrames.load(std::memory_order_relaxed);
    const std::int64_t ready = self->mixedFrames.load(std::memory_order_acquire) - from;
    const std::int64_t take = std::clamp<std::int64_t>(ready, 0, frames);
    for (std::int64_t done = 0; done < take;) {
        const std::int64_t at = (from + done) % ringFrames;
        const std::int64_t run = std::min(take - done, ringFrames - at);
        std::copy_n(self->ring.data() + at * 2, run * 2, out + done * 2);
        done += run;
    }
    if (take < frames) {
        std::fill(out + take * 2, out + frames * 2, 0.0f);
        self->underrun.fetch_add(frames - take, std::memory_order_relaxed);
    }
    self->consumedFrames.store(from + take, std::memory_order_release);
    // The newest block is heard once what the device already holds has played.
    const std::int64_t heard = from + take - self->heldFrames.load(std::memory_order_relaxed);
    self->anchorSequence.fetch_add(1, std::memory_order_acq_rel);
    self->anchorFrame.store(heard, std::memory_order_release);
    self->anchorNanos.store(nanosNow(), std::memory_order_release);
    self->anchorSequence.fetch_add(1, std::memory_order_release);
    self->callbacks.fetch_add(1, std::memory_order_release);
    self->mixerWake.notify_one();
}

bool Output::deviceGone(Clock::time_point now) {
    // The system marks a device it lost (the sound server died, the card
    // was unplugged).
    if (device::lost()) return true;
    // A device can also just stop taking sound. Only time this thread was
    // running counts, so a stopped process (Ctrl-Z) is not taken for it.
    if (now - lastWatch > std::chrono::milliseconds(100)) watchedSince = now;
    lastWatch = now;
    const std::uint32_t seen = callbacks.load(std::memory_order_acquire);
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

std::int64_t Output::songFrames(std::int64_t outputFrame) {
    std::lock_guard<std::mutex> lock(mixMutex);
    if (LiveSong* song = playing.load(std::memory_order_relaxed)) return outputFrame - song->firstFrame();
    return outputFrame;
}

// With stateMutex held: the exit report, the gaps closed so far and then the
// current one.
void Output::report(const std::string& current) {
    std::string text = gapsReported;
    if (!current.empty()) text += (text.empty() ? "" : "; ") + current;
    if (gapCount > reportedGaps) text += "; " + std::to_string(gapCount - reportedGaps) + " more times";
    outputProblem = text;
}

// Mixing thread, with stateMutex held: from here on the steady clock paces
// the output, carrying on from where the sound stopped. A device that went
// on playing until it was noticed counts its last callback as that moment,
// and the time since (at most carryLimit) as played in silence.
void Output::switchToSilence(const char* reason, Clock::time_point now) {
    // No callback reads the ring once this is done.
    device::lock();
    const std::int64_t frame = anchorFrame.load(std::memory_order_acquire);
    const std::int64_t nanos = anchorNanos.load(std::memory_order_acquire);
    pacing.store(Pacing::silent, std::memory_order_release);
    device::unlock();
    std::int64_t since = nanos == 0 ? 0 : std::max<std::int64_t>(0, nanosNow() - nanos);
    const auto cap = deviceRunning ? std::chrono::nanoseconds(carryLimit).count()
                                   : static_cast<std::int64_t>(bufferFrames) * 1000000000 / sampleRate;
    since = std::min<std::int64_t>(since, cap);
    const std::int64_t from = std::max<std::int64_t>(0, frame + since * sampleRate / 1000000000);
    activeBefore = std::chrono::nanoseconds(from * 1000000000 / sampleRate);
    resumedAt = now;
    pausedFrame.store(-1);
    startBehindClock = 0;
    catchingUp = true;
    offDeviceSince = now;
    resumeSince = {};
    ++gapCount;
    gapReason = reason;
    gapFrom = songPoint(songFrames(from));
    report(gapReason + " at " + gapFrom + " of the song; it went on in silence from there");
}

// Off the device while it is open: true once it calls back steadily again.
bool Output::callingBackSteadily(Clock::time_point now) {
    const std::uint32_t seen = callbacks.load(std::memory_order_acquire);
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

// Mixing thread, with stateMutex held: the device paces the output again,
// from where the silent clock is, so that the sound goes on in step with
// the song.
void Output::backOnDevice(Clock::time_point now) {
    const std::int64_t heard = silentFrameLocked(now);
    const std::int64_t held = heldFrames.load(std::memory_order_relaxed);
    device::lock();
    // The next callback's sound is heard once what the device holds has
    // played; the mix is at least the lead ahead of the silent clock.
    const std::int64_t mixed = mixedFrames.load(std::memory_order_acquire);
    std::int64_t from = std::min(heard + held - bufferFrames, mixed - bufferFrames);
    from = std::max(from, consumedFrames.load(std::memory_order_relaxed));
    consumedFrames.store(from, std::memory_order_release);
    anchorSequence.fetch_add(1, std::memory_order_acq_rel);
    anchorFrame.store(heard, std::memory_order_release);
    anchorNanos.store(nanosNow(), std::memory_order_release);
    anchorSequence.fetch_add(1, std::memory_order_release);
    pacing.store(Pacing::device, std::memory_order_release);
    device::unlock();
    watchedCallbacks = callbacks.load(std::memory_order_acquire);
    watchedSince = lastWatch = now;
    deviceRunning = true;
    catchingUp = false;
    if (gapCount <= reportedGaps) {
        gapsReported += (gapsReported.empty() ? "" : "; ") + std::string("from ") + gapFrom + " to " +
                        songPoint(songFrames(heard)) + " of the song (" + gapReason + ", then it came back)";
    }
    report("");
}

// With stateMutex held: hands the device to the reopening thread.
void Output::startReopen() {
    reopening = true;
    if (!reopener.joinable()) reopener = std::thread([this] { reopenLoop(); });
    reopenWake.notify_all();
}

// Closes the device that went away and opens the default device again every
// reopenInterval, until one opens or the output shuts down. The opened device
// calls back in silence until the mixing thread takes it back.
void Output::reopenLoop() {
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

void Output::mixLoop() {
    // The device cannot play what is not mixed yet: keep this thread ahead
    // of a busy frame loop.
    device::raiseThreadPriority();
    for (;;) {
        std::int64_t consumer = 0;
        {
            std::unique_lock<std::mutex> lock(stateMutex);
            if (shuttingDown) return;
            const auto now = Clock::now();
            if (pacing.load(std::memory_order_relaxed) == Pacing::device) {
                if (!paused && deviceGone(now)) {
                    const bool removed = device::lost();
                    switchToSilence(removed ? "the audio device went away" : "the audio device stopped taking sound",
                                    now);
                    if (removed) startReopen();
                }
            } else if (deviceOpen && !reopening && !paused) {
                if (device::lost() || now - offDeviceSince > (deviceRunning ? stalledReopen : reopenedWait)) {
                    startReopen();
                } else if (callingBackSteadily(now)) {
                    backOnDevice(now);
                }
            }
            if (pacing.load(std::memory_order_relaxed) == Pacing::device) {
                consumer = consumedFrames.load(std::memory_order_acquire);
                // A device that takes sound faster than real time gets
                // silence once the mix is a ring ahead of the steady clock
                // (counted from the song's start).
                consumer = std::min(consumer, silentFrameLocked(now) + startBehindClock + ringFrames - leadFrames() -
                                                  blockFrames);
            } else {
                if (paused) {
                    mixerWake.wait(lock);
                    continue;
                }
                consumer = silentFrameLocked(now);
                const std::int64_t mixed = mixedFrames.load(std::memory_order_relaxed);
                if (catchingUp && consumer <= mixed) catchingUp = false;
                if (!catchingUp && consumer > mixed + 4 * bufferFrames) {
                    // Far behind the clock (the process was stopped or
                    // starved): like a device after an underrun, carry on
                    // from where the music was instead of racing through
                    // the missed part.
                    const std::int64_t resume = mixed - leadFrames();
                    activeBefore -= std::chrono::nanoseconds((consumer - resume) * 1000000000 / sampleRate);
                    consumer = silentFrameLocked(now);
                }
            }
            if (mixedFrames.load(std::memory_order_relaxed) >= consumer + leadFrames()) {
                mixerWake.wait_for(lock, std::chrono::milliseconds(5));
                continue;
            }
        }
        std::lock_guard<std::mutex> lock(mixMutex);
        const std::int64_t at = mixedFrames.load(std::memory_order_relaxed);
        mixBlock(at);
        mixedFrames.store(at + blockFrames, std::memory_order_release);
    }
}

}  // namespace

void LiveSong::start() {
    if (dispatcher.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(wakeMutex);
        stopping = false;
    }
    dispatcher = std::thread([this] { dispatchLoop(); });
}

bool LiveSong::stop() {
    {
        std::lock_guard<std::mutex> lock(wakeMutex);
        stopping = true;
    }
    wake.notify_all();
    if (!dispatcher.joinable()) return true;
    if (dispatcher.get_id() == std::this_thread::get_id()) {
        dispatcher.detach();
        return false;
    }
    dispatcher.join();
    return true;
}

void LiveSong::dispatchLoop() {
    // Callbacks are due when the sound is heard, busy machine or not.
    device::raiseThreadPriority();
    Output& out = output();
    for (;;) {
        // A positive delay holds the events back behind the sound; a negative
        // one sends them before it (the mix runs far enough ahead for that).
        const std::int64_t heard = out.audibleFrame() - out.eventDelayFrames();
        PlayEvent e;
        std::int64_t next = -1;
        while (queue.peek(e)) {
            if (e.frame > heard) {
                next = e.frame;
                break;
            }
            queue.pop();
            if (e.kind == EventKind::order) {
                heardOrder.store(e.order, std::memory_order_release);
            } else if (FMUSIC_CALLBACK callback = handle->callbackFor(e.instrument)) {
                {
                    std::lock_guard<std::mutex> lock(wakeMutex);
                    if (stopping) return;
                }
                callback(handle, static_cast<unsigned char>(e.instrument));
                std::lock_guard<std::mutex> lock(wakeMutex);
                if (stopping) return;
            }
        }
        auto wait = std::chrono::microseconds(2000);
        if (next >= 0) {
            wait = std::min(wait, std::chrono::microseconds((next - heard) * 1000000 / sampleRate + 1));
        }
        std::unique_lock<std::mutex> lock(wakeMutex);
        if (wake.wait_for(lock, wait, [this] { return stopping; })) return;
    }
}

std::int64_t outputFrame() { return output().audibleFrame(); }

std::int64_t outputUnderrunFrames() { return output().underrunFrames(); }

int outputLatencyFrames() { return output().onDevice() ? output().deviceLatencyFrames() : 0; }

bool outputOnDevice() { return output().onDevice(); }

int outputBufferFrames() { return bufferFrames; }

}  // namespace sound

signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int) {
    // The output always mixes at 44100 Hz stereo; the channel count is
    // libopenmpt's business.
    if (mixRate <= 0 || maxSoftwareChannels < 0) return 0;
    return sound::output().init() ? 1 : 0;
}

FMUSIC_MODULE* sound::newSongHandle(std::vector<std::uint8_t> bytes, std::unique_ptr<openmpt::module> module) {
    auto* song = new FMUSIC_MODULE();
    song->bytes = std::move(bytes);
    song->live = std::make_unique<sound::LiveSong>(song, std::move(module));
    return song;
}

signed char FSOUND_SetPaused(int channel, signed char paused) {
    if (channel != FSOUND_SYSTEMCHANNEL || !sound::output().ready()) return 0;
    sound::output().setPaused(paused != 0);
    return 1;
}

int FSOUND_FX_Enable(int channel, unsigned int fx) {
    if (channel != FSOUND_SYSTEMCHANNEL || fx != FSOUND_FX_PARAMEQ) return -1;
    return sound::output().equalisers().add();
}

signed char FSOUND_FX_SetParamEQ(int fxId, float center, float bandwidth, float gain) {
    sound::output().equalisers().set(fxId, center, bandwidth, gain);
    return 1;
}

signed char FMUSIC_PlaySong(FMUSIC_MODULE* module) {
    if (module == nullptr || !module->live || !sound::output().ready()) return 0;
    sound::LiveSong* live = module->live.get();
    if (live->started()) return 1;
    sound::output().registerSong(live);
    live->start();
    sound::output().play(live);
    return 1;
}

int FMUSIC_GetOrder(FMUSIC_MODULE* module) {
    if (module == nullptr || !module->live) return -1;
    return module->live->order();
}

signed char FMUSIC_FreeSong(FMUSIC_MODULE* module) {
    if (module == nullptr) return 0;
    if (module->live) {
        // Off the output first, so the mixer is done with it; then its
        // dispatcher stops: no callback arrives after this returns.
        sound::output().forget(module->live.get());
        if (!module->live->stop()) {
            // Freed from one of its own callbacks: the dispatcher still runs
            // on this stack and reads the song once the callback returns, so
            // the song is left allocated (it plays no more and calls nothing).
            module->live.release();
            return 1;
        }
    }
    delete module;
    return 1;
}

std::string soundOutputProblem() { return sound::output().problem(); }

void setSoundEventDelayMs(int ms) { sound::output().setEventDelay(ms); }
