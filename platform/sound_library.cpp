// The live sound output: one global output that mixes the playing song and the
// equalisers, on an SDL2 audio device or, when there is none, in silence on a
// thread paced by the steady clock. The mixing thread alone touches the
// libopenmpt module; the order changes and note starts it finds travel to each
// song's own dispatch thread through a lock-free queue, stamped with the output
// frame at which they are heard, and the dispatcher calls the instrument
// callbacks and publishes the order when the output reaches that frame.
#include "platform/sound_library.h"

#include <SDL2/SDL.h>
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

#include "platform/sound_engine.h"
#include "platform/sound_live.h"
#include "platform/sound_offline.h"
#include "platform/sound_song.h"

struct FSOUND_DSPUNIT {
    int priority = 0;
    bool active = false;
};

namespace sound {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int bufferFrames = 1024;  // the device buffer asked for, and the silent block

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
    bool onDevice() {
        std::lock_guard<std::mutex> lock(stateMutex);
        return device != 0;
    }
    EqChain& equalisers() { return eq; }
    bool ready() {
        std::lock_guard<std::mutex> lock(stateMutex);
        return initialised;
    }
    void registerSong(LiveSong* song) {
        std::lock_guard<std::mutex> lock(stateMutex);
        songs.insert(song);
    }

private:
    static void deviceCallback(void* user, Uint8* stream, int length);
    void mix(float* out, std::size_t frames);
    void silentLoop();
    bool openDevice(std::string& problem);
    void lockMixer();
    void unlockMixer();
    std::int64_t silentFrameLocked(Clock::time_point now) const;

    std::mutex stateMutex;  // initialisation, pause state and the silent clock
    bool initialised = false;
    bool shuttingDown = false;
    bool paused = false;
    std::string outputProblem;
    SDL_AudioDeviceID device = 0;
    std::set<LiveSong*> songs;

    // Mixing state. `playing` is swapped only with the mixer locked.
    std::atomic<LiveSong*> playing{nullptr};
    EqChain eq;
    std::atomic<std::int64_t> renderedFrames{0};

    // Device clock: after each device callback, the frame heard then and when.
    std::atomic<std::uint32_t> anchorSequence{0};
    std::atomic<std::int64_t> anchorFrame{0};
    std::atomic<std::int64_t> anchorNanos{0};
    std::atomic<std::int64_t> pausedFrame{-1};  // frame held while paused

    // Silent clock: active time is summed while not paused (under stateMutex).
    Clock::duration activeBefore{};
    Clock::time_point resumedAt{};
    std::mutex silentMixMutex;  // held while the silent thread mixes a block
    std::condition_variable silentWake;
    std::thread silentThread;
    std::vector<float> silentBuffer;
};

Output& output() {
    static Output instance;
    return instance;
}

std::int64_t nanosNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Sends stderr to a scratch file while the audio system opens, so that its
// libraries' complaints (ALSA prints many without a sound card) do not land
// on the terminal the demo draws on.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        scratch = std::tmpfile();
        saved = ::dup(STDERR_FILENO);
        if (scratch != nullptr && saved >= 0) ::dup2(::fileno(scratch), STDERR_FILENO);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        if (saved >= 0) {
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
        }
        if (scratch != nullptr) std::fclose(scratch);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

private:
    std::FILE* scratch = nullptr;
    int saved = -1;
};

bool Output::init() {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (initialised) return true;
    std::string problem;
    if (!openDevice(problem)) {
        outputProblem = problem.empty() ? "no audio device" : problem;
        silentBuffer.assign(bufferFrames * 2, 0.0f);
        resumedAt = Clock::now();
        silentThread = std::thread([this] { silentLoop(); });
    }
    initialised = true;
    return true;
}

bool Output::openDevice(std::string& problem) {
    StderrCapture capture;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        problem = SDL_GetError();
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = bufferFrames;
    want.callback = &Output::deviceCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device takes, and the
    // callback always sees 44100 Hz float stereo in blocks of bufferFrames.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        problem = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(device, 0);
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
    playing.store(nullptr);
    for (LiveSong* song : remaining) song->stop();
    silentWake.notify_all();
    if (silentThread.joinable()) silentThread.join();
    if (device != 0) {
        SDL_CloseAudioDevice(device);
        device = 0;
    }
}

void Output::lockMixer() {
    if (device != 0) {
        SDL_LockAudioDevice(device);
    } else {
        silentMixMutex.lock();
    }
}

void Output::unlockMixer() {
    if (device != 0) {
        SDL_UnlockAudioDevice(device);
    } else {
        silentMixMutex.unlock();
    }
}

void Output::play(LiveSong* song) {
    lockMixer();
    playing.store(song, std::memory_order_release);
    unlockMixer();
}

void Output::forget(LiveSong* song) {
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        songs.erase(song);
        if (!initialised) return;
    }
    if (playing.load() != song) return;
    // Once the mixer is unlocked it cannot be inside the song any more.
    lockMixer();
    if (playing.load() == song) playing.store(nullptr, std::memory_order_release);
    unlockMixer();
}

void Output::setPaused(bool pause) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (!initialised || pause == paused) return;
    paused = pause;
    const auto now = Clock::now();
    if (device != 0) {
        if (pause) {
            pausedFrame.store(std::max<std::int64_t>(0, audibleFrame()));
            SDL_PauseAudioDevice(device, 1);
        } else {
            SDL_PauseAudioDevice(device, 0);
            pausedFrame.store(-1);
        }
    } else {
        if (pause) {
            activeBefore += now - resumedAt;
        } else {
            resumedAt = now;
        }
        silentWake.notify_all();
    }
}

std::int64_t Output::silentFrameLocked(Clock::time_point now) const {
    Clock::duration active = activeBefore + (paused ? Clock::duration{} : now - resumedAt);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(active).count() * sampleRate / 1000000000;
}

std::int64_t Output::audibleFrame() {
    if (device == 0) {
        std::lock_guard<std::mutex> lock(stateMutex);
        return silentFrameLocked(Clock::now());
    }
    const std::int64_t held = pausedFrame.load();
    if (held >= 0) return held;
    std::int64_t frame = 0;
    std::int64_t nanos = 0;
    for (;;) {
        const std::uint32_t before = anchorSequence.load(std::memory_order_acquire);
        frame = anchorFrame.load(std::memory_order_relaxed);
        nanos = anchorNanos.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1u) == 0 && anchorSequence.load(std::memory_order_relaxed) == before) break;
        std::this_thread::yield();
    }
    if (nanos == 0) return 0;  // no callback yet
    // Between callbacks the device plays on: add the time since the last one,
    // at most one buffer.
    const std::int64_t since = std::max<std::int64_t>(0, nanosNow() - nanos) * sampleRate / 1000000000;
    return std::max<std::int64_t>(0, frame + std::min<std::int64_t>(since, bufferFrames));
}

void Output::mix(float* out, std::size_t frames) {
    const std::int64_t base = renderedFrames.load(std::memory_order_relaxed);
    if (LiveSong* song = playing.load(std::memory_order_acquire)) {
        song->mix(out, frames, base);
    } else {
        std::fill(out, out + frames * 2, 0.0f);
    }
    eq.process(out, frames, sampleRate);
    renderedFrames.store(base + static_cast<std::int64_t>(frames), std::memory_order_release);
}

void Output::deviceCallback(void* user, Uint8* stream, int length) {
    auto* self = static_cast<Output*>(user);
    const std::size_t frames = static_cast<std::size_t>(length) / (2 * sizeof(float));
    self->mix(reinterpret_cast<float*>(stream), frames);
    // The device holds about two buffers: the newest block is heard after
    // the one before it has played.
    const std::int64_t heard = self->renderedFrames.load(std::memory_order_relaxed) - 2 * static_cast<std::int64_t>(frames);
    self->anchorSequence.fetch_add(1, std::memory_order_acq_rel);
    self->anchorFrame.store(heard, std::memory_order_relaxed);
    self->anchorNanos.store(nanosNow(), std::memory_order_relaxed);
    self->anchorSequence.fetch_add(1, std::memory_order_release);
}

void Output::silentLoop() {
    for (;;) {
        std::int64_t due = 0;
        {
            std::unique_lock<std::mutex> lock(stateMutex);
            if (shuttingDown) return;
            if (paused) {
                silentWake.wait(lock);
                continue;
            }
            // Keep two blocks ahead of the clock, as a device would.
            std::int64_t heard = silentFrameLocked(Clock::now());
            const std::int64_t rendered = renderedFrames.load(std::memory_order_relaxed);
            if (heard > rendered + 4 * bufferFrames) {
                // Far behind the clock (the process was stopped or starved):
                // like a device after an underrun, carry on from where the
                // mix is instead of racing through the missed music.
                activeBefore -= std::chrono::nanoseconds((heard - rendered) * 1000000000 / sampleRate);
                heard = silentFrameLocked(Clock::now());
            }
            due = rendered - (heard + 2 * bufferFrames);
            if (due >= 0) {
                const auto wait = std::chrono::nanoseconds((due + 1) * 1000000000 / sampleRate);
                silentWake.wait_for(lock, std::min<std::chrono::nanoseconds>(wait, std::chrono::milliseconds(5)));
                continue;
            }
        }
        std::lock_guard<std::mutex> mixLock(silentMixMutex);
        mix(silentBuffer.data(), bufferFrames);
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
    Output& out = output();
    for (;;) {
        const std::int64_t heard = out.audibleFrame();
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

bool outputOnDevice() { return output().onDevice(); }

int outputBufferFrames() { return bufferFrames; }

}  // namespace sound

signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int) {
    // The output always mixes at 44100 Hz stereo; the channel count is
    // libopenmpt's business.
    if (mixRate <= 0 || maxSoftwareChannels < 0) return 0;
    return sound::output().init() ? 1 : 0;
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
    if (name == nullptr) return nullptr;
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!sound::readModuleFile(name, bytes, error)) return nullptr;
    auto module = sound::loadModule(bytes.data(), bytes.size(), error);
    if (!module) return nullptr;
    auto* song = new FMUSIC_MODULE();
    song->bytes = std::move(bytes);
    song->live = std::make_unique<sound::LiveSong>(song, std::move(module));
    return song;
}

signed char FMUSIC_SetInstCallback(FMUSIC_MODULE* module, FMUSIC_CALLBACK callback, int instrument) {
    if (module == nullptr || instrument < 0 || instrument >= FMUSIC_MODULE::instrumentSlots) return 0;
    module->callbacks[static_cast<std::size_t>(instrument)].store(callback, std::memory_order_release);
    return 1;
}

FSOUND_DSPUNIT* FSOUND_DSP_Create(FSOUND_DSPCALLBACK, int priority, void*) {
    auto* unit = new FSOUND_DSPUNIT();
    unit->priority = priority;
    return unit;
}

signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* unit, signed char active) {
    if (unit == nullptr) return 0;
    unit->active = active != 0;
    return 1;
}

void FSOUND_DSP_Free(FSOUND_DSPUNIT* unit) { delete unit; }

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
