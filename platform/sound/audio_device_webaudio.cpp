// The output on a web page (output.h), where the program has one thread: the
// page's. The same song player as on the other systems mixes in blocks on
// that thread, some 300 ms ahead of what the audio context has rendered, and
// the page's audio worklet (page/sound-worklet.js) plays each block at the
// context frame it was mixed for. The mixing happens whenever the worklet
// reports progress (every few milliseconds, also while the page is in the
// background) and at every order query. Order changes and note starts are
// handed on when the output's own clock (with its latency) says they are
// heard: each frame's order query, and each pump, dispatches those that are
// due. Without an audio context the page's clock paces the output in silence.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "platform/sound/offline.h"
#include "platform/sound/output.h"
#include "platform/sound/song.h"
#include "platform/web/page_bridge.h"

namespace sound {

namespace {

constexpr int blockFrames = 1024;                     // mixed and handed on at a time
constexpr int leadFrames = sampleRate * 300 / 1000;   // mixed ahead of the rendered frame
constexpr int startMarginFrames = 4 * blockFrames;    // a song starts this far ahead
constexpr int maxEventDelayMs = 1000;

struct PageOutput {
    bool initialised = false;
    bool onDevice = false;
    bool paused = false;
    std::string problem;
    EqChain eq;
    LiveSong* playing = nullptr;
    LiveSong* dispatching = nullptr;
    bool freedWhileDispatching = false;  // by one of its own callbacks
    std::int64_t mixed = 0;       // output frames mixed so far
    std::int64_t eventDelay = 0;  // frames; positive: events after the sound
    // The silent clock: milliseconds of the page's clock while not paused.
    double silentBefore = 0.0;
    double resumedAt = 0.0;
    float block[blockFrames * 2] = {};
};

PageOutput out;

double silentFrame() {
    const double ms = out.silentBefore + (out.paused ? 0.0 : page::nowMs() - out.resumedAt);
    return ms * sampleRate / 1000.0;
}

double renderedFrame() { return out.onDevice ? page::audioRenderedFrame() : silentFrame(); }
double heardFrame() { return out.onDevice ? page::audioHeardFrame() : silentFrame(); }

void mixBlock() {
    out.playing->mix(out.block, blockFrames, out.mixed);
    out.eq.process(out.block, blockFrames, sampleRate);
    if (out.onDevice) page::audioQueue(out.block, blockFrames, out.mixed);
    out.mixed += blockFrames;
}

}  // namespace

namespace output {

bool init() {
    if (out.initialised) return true;
    char problem[256] = {};
    out.onDevice = page::audioOpen(problem, sizeof problem);
    if (!out.onDevice) out.problem = problem[0] != 0 ? problem : "no audio output";
    out.resumedAt = page::nowMs();
    out.initialised = true;
    return true;
}

bool ready() { return out.initialised; }

void setPaused(bool pause) {
    if (pause == out.paused) return;
    const double now = page::nowMs();
    if (pause) out.silentBefore += now - out.resumedAt;
    else out.resumedAt = now;
    out.paused = pause;
}

EqChain& equalisers() { return out.eq; }

void play(LiveSong& song) {
    if (out.playing == &song) return;
    const auto earliest = static_cast<std::int64_t>(std::ceil(renderedFrame())) + startMarginFrames;
    out.mixed = std::max(out.mixed, earliest);
    song.placeAt(out.mixed);
    out.playing = &song;
    pumpSound();
}

bool stop(LiveSong& song) {
    if (out.playing == &song) {
        out.playing = nullptr;
        if (out.onDevice) page::audioFlush();
    }
    if (out.dispatching == &song) {
        // Freed from one of its own callbacks: deleted once the callback returns.
        out.freedWhileDispatching = true;
        return false;
    }
    return true;
}

int order(LiveSong& song) {
    pumpSound();
    return song.order();
}

std::string problem() { return out.problem; }

void setEventDelayMs(int ms) {
    ms = std::clamp(ms, -maxEventDelayMs, maxEventDelayMs);
    out.eventDelay = static_cast<std::int64_t>(ms) * sampleRate / 1000;
}

}  // namespace output

}  // namespace sound

void pumpSound() {
    using namespace sound;
    if (!out.initialised) return;
    if (out.playing != nullptr && !out.paused) {
        // A page held up (a hidden tab, a long task) leaves the mix behind the
        // output: the song goes on from where it was, a little ahead.
        const auto earliest = static_cast<std::int64_t>(std::ceil(renderedFrame())) + startMarginFrames;
        if (out.mixed < earliest) {
            out.playing->placeAt(out.playing->firstFrame() + earliest - out.mixed);
            out.mixed = earliest;
        }
        // Events wanted before they are heard need their part mixed.
        const double ahead = renderedFrame() + double(std::max<std::int64_t>(leadFrames, blockFrames - out.eventDelay));
        while (double(out.mixed) < ahead) mixBlock();
    }
    if (LiveSong* song = out.playing) {
        out.dispatching = song;
        out.freedWhileDispatching = false;
        song->dispatchDue(heardFrame() - double(out.eventDelay), [] { return out.freedWhileDispatching; });
        out.dispatching = nullptr;
        if (out.freedWhileDispatching) delete song->handle;
    }
}
