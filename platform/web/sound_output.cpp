// The live sound output on a web page, where the program has one thread: the
// page's. The same player as on the other systems (SongStepper, EqChain on
// libopenmpt) mixes in blocks on that thread, some 300 ms ahead of what the
// audio context has rendered, and the page's audio worklet plays each block
// at the context frame it was mixed for. The mixing happens whenever the
// worklet reports progress (every few milliseconds, also while the page is in
// the background) and at every order query. Order changes and note starts
// are handed on when the output's own clock (with its latency) says they are
// heard: each frame's order query, and each pump, dispatches those that are
// due. Without an audio context the page's clock paces the output in silence.
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/common/sound_engine.h"
#include "platform/common/sound_offline.h"
#include "platform/common/sound_song.h"
#include "platform/sound_library.h"
#include "platform/web/page_bridge.h"

namespace sound {

namespace {
constexpr int blockFrames = 1024;                     // mixed and handed on at a time
constexpr int leadFrames = sampleRate * 300 / 1000;   // mixed ahead of the rendered frame
constexpr int startMarginFrames = 4 * blockFrames;    // a song starts this far ahead
constexpr int maxEventDelayMs = 1000;
constexpr std::uint32_t eventCapacity = 4096;
}  // namespace

// A song on the output: its player and the events it has produced but that
// are not heard yet, in song frames.
class LiveSong final : public EventSink {
public:
    LiveSong(FMUSIC_MODULE* owner, std::unique_ptr<openmpt::module> module)
        : handle(owner), stepper(std::move(module)) {}

    void event(const PlayEvent& e) override {
        if (head - tail >= eventCapacity) return;
        events[head++ % eventCapacity] = e;
    }
    // Hands on the events heard by output frame `heard`.
    void dispatch(double heard) {
        while (tail != head) {
            const PlayEvent& e = events[tail % eventCapacity];
            if (double(e.frame + base) > heard) break;
            ++tail;
            if (e.kind == EventKind::order) {
                heardOrder = e.order;
            } else if (FMUSIC_CALLBACK callback = handle->callbackFor(e.instrument)) {
                callback(handle, static_cast<unsigned char>(e.instrument));
                if (freed) return;
            }
        }
    }

    FMUSIC_MODULE* handle;
    SongStepper stepper;
    std::int64_t base = 0;  // output frame of the song's first frame
    int heardOrder = 0;
    bool freed = false;     // freed by one of its own callbacks

private:
    std::array<PlayEvent, eventCapacity> events{};
    std::uint32_t head = 0;
    std::uint32_t tail = 0;
};

namespace {

struct Output {
    bool initialised = false;
    bool onDevice = false;
    bool paused = false;
    std::string problem;
    EqChain eq;
    LiveSong* playing = nullptr;
    LiveSong* dispatching = nullptr;
    std::int64_t mixed = 0;       // output frames mixed so far
    std::int64_t eventDelay = 0;  // frames; positive: events after the sound
    // The silent clock: milliseconds of the page's clock while not paused.
    double silentBefore = 0.0;
    double resumedAt = 0.0;
    float block[blockFrames * 2] = {};
};

Output out;

double silentFrame() {
    const double ms = out.silentBefore + (out.paused ? 0.0 : page::nowMs() - out.resumedAt);
    return ms * sampleRate / 1000.0;
}

double renderedFrame() { return out.onDevice ? page::audioRenderedFrame() : silentFrame(); }
double heardFrame() { return out.onDevice ? page::audioHeardFrame() : silentFrame(); }

void mixBlock() {
    LiveSong* song = out.playing;
    song->stepper.render(out.block, blockFrames, *song);
    out.eq.process(out.block, blockFrames, sampleRate);
    if (out.onDevice) page::audioQueue(out.block, blockFrames, out.mixed);
    out.mixed += blockFrames;
}

}  // namespace

}  // namespace sound

void pumpSound() {
    using namespace sound;
    if (!out.initialised) return;
    if (out.playing != nullptr && !out.paused) {
        // A page held up (a hidden tab, a long task) leaves the mix behind the
        // output: the song goes on from where it was, a little ahead.
        const auto earliest = static_cast<std::int64_t>(std::ceil(renderedFrame())) + startMarginFrames;
        if (out.mixed < earliest) {
            out.playing->base += earliest - out.mixed;
            out.mixed = earliest;
        }
        // Events wanted before they are heard need their part mixed.
        const double ahead = renderedFrame() + double(std::max<std::int64_t>(leadFrames, blockFrames - out.eventDelay));
        while (double(out.mixed) < ahead) mixBlock();
    }
    if (LiveSong* song = out.playing) {
        out.dispatching = song;
        song->dispatch(heardFrame() - double(out.eventDelay));
        out.dispatching = nullptr;
        if (song->freed) delete song->handle;
    }
}

signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int) {
    using sound::out;
    if (mixRate <= 0 || maxSoftwareChannels < 0) return 0;
    if (out.initialised) return 1;
    char problem[256] = {};
    out.onDevice = page::audioOpen(problem, sizeof problem);
    if (!out.onDevice) out.problem = problem[0] != 0 ? problem : "no audio output";
    out.resumedAt = page::nowMs();
    out.initialised = true;
    return 1;
}

FMUSIC_MODULE* sound::newSongHandle(std::vector<std::uint8_t> bytes, std::unique_ptr<openmpt::module> module) {
    auto* song = new FMUSIC_MODULE();
    song->bytes = std::move(bytes);
    song->live = std::make_unique<sound::LiveSong>(song, std::move(module));
    return song;
}

signed char FSOUND_SetPaused(int channel, signed char paused) {
    using sound::out;
    if (channel != FSOUND_SYSTEMCHANNEL || !out.initialised) return 0;
    const bool pause = paused != 0;
    if (pause == out.paused) return 1;
    const double now = page::nowMs();
    if (pause) out.silentBefore += now - out.resumedAt;
    else out.resumedAt = now;
    out.paused = pause;
    return 1;
}

int FSOUND_FX_Enable(int channel, unsigned int fx) {
    if (channel != FSOUND_SYSTEMCHANNEL || fx != FSOUND_FX_PARAMEQ) return -1;
    return sound::out.eq.add();
}

signed char FSOUND_FX_SetParamEQ(int fxId, float center, float bandwidth, float gain) {
    sound::out.eq.set(fxId, center, bandwidth, gain);
    return 1;
}

signed char FMUSIC_PlaySong(FMUSIC_MODULE* module) {
    using sound::out;
    if (module == nullptr || !module->live || !out.initialised) return 0;
    sound::LiveSong* live = module->live.get();
    if (out.playing == live) return 1;
    const auto earliest =
        static_cast<std::int64_t>(std::ceil(sound::renderedFrame())) + sound::startMarginFrames;
    out.mixed = std::max(out.mixed, earliest);
    live->base = out.mixed;
    out.playing = live;
    pumpSound();
    return 1;
}

int FMUSIC_GetOrder(FMUSIC_MODULE* module) {
    if (module == nullptr || !module->live) return -1;
    pumpSound();
    return module->live->heardOrder;
}

signed char FMUSIC_FreeSong(FMUSIC_MODULE* module) {
    using sound::out;
    if (module == nullptr) return 0;
    if (module->live && out.playing == module->live.get()) {
        out.playing = nullptr;
        if (out.onDevice) page::audioFlush();
    }
    if (module->live && out.dispatching == module->live.get()) {
        // Freed from one of its own callbacks: deleted once the callback returns.
        module->live->freed = true;
        return 1;
    }
    delete module;
    return 1;
}

std::string soundOutputProblem() { return sound::out.problem; }

void setSoundEventDelayMs(int ms) {
    ms = std::clamp(ms, -sound::maxEventDelayMs, sound::maxEventDelayMs);
    sound::out.eventDelay = static_cast<std::int64_t>(ms) * sound::sampleRate / 1000;
}
