#include "tools/record/recorder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/frame_values.h"
#include "host/numeric.h"
#include "host/screen.h"
#include "music/music.h"

namespace {

// The song rendered just ahead of the frames: its sound from `base` on and
// the events not yet reached.
struct SongFeed {
    explicit SongFeed(sound::OfflineSong& s) : song(s) {}
    sound::OfflineSong& song;
    std::vector<float> audio;  // interleaved, from sample `base`
    std::int64_t base = 0;
    std::vector<sound::Trigger> triggers;
    std::vector<sound::OrderStart> orderStarts;
    std::size_t nextTrigger = 0;
    std::size_t nextOrderStart = 0;
    std::vector<sound::Trigger> newTriggers;
    std::vector<sound::OrderStart> newOrderStarts;

    // Renders up to (not including) sample `end`.
    void renderTo(std::int64_t end) {
        const std::int64_t rendered = base + static_cast<std::int64_t>(audio.size() / 2);
        if (end <= rendered) return;
        const std::size_t frames = static_cast<std::size_t>(end - rendered);
        const std::size_t at = audio.size();
        audio.resize(at + frames * 2);
        const std::size_t got = song.render(audio.data() + at, frames);
        audio.resize(at + got * 2);
        song.takeEvents(newTriggers, newOrderStarts);
        triggers.insert(triggers.end(), newTriggers.begin(), newTriggers.end());
        orderStarts.insert(orderStarts.end(), newOrderStarts.begin(), newOrderStarts.end());
    }

    // Drops the sound before sample `sample` and the events already used.
    void dropBefore(std::int64_t sample) {
        const std::int64_t drop = std::clamp<std::int64_t>(sample - base, 0, static_cast<std::int64_t>(audio.size() / 2));
        audio.erase(audio.begin(), audio.begin() + static_cast<std::ptrdiff_t>(drop * 2));
        base += drop;
        triggers.erase(triggers.begin(), triggers.begin() + static_cast<std::ptrdiff_t>(nextTrigger));
        orderStarts.erase(orderStarts.begin(), orderStarts.begin() + static_cast<std::ptrdiff_t>(nextOrderStart));
        nextTrigger = nextOrderStart = 0;
    }
};

}  // namespace

RecordOutcome recordFrames(sound::OfflineSong& song, const RecordSpan& span, RecordSink& sink) {
    // The callbacks the demo registers on its song, by instrument.
    FMUSIC_CALLBACK callbacks[256] = {};
    for (const InstrumentCallback& registration : instrumentCallbacks)
        callbacks[registration.instrument & 255] = registration.callback;

    song.setRepeat(true);
    song.addEqualiser(sound::demoEqHigh);
    song.addEqualiser(sound::demoEqLow);
    std::int64_t endFrame = span.endFrame;
    if (endFrame < 0) {
        // A song that never reaches order 41 ends the recording after one pass.
        endFrame = static_cast<std::int64_t>(std::ceil(song.facts().durationSeconds * span.fps));
    }
    endFrame = std::max<std::int64_t>(endFrame, 1);

    SongFeed feed(song);
    RecordOutcome outcome;
    std::int32_t songOrder = 0;
    for (std::int64_t k = 0; k < endFrame; ++k) {
        const std::int64_t sample = frameSample(k, span.fps);
        const std::int64_t nextSample = frameSample(k + 1, span.fps);
        // One sample past the frame's own, so that every event at it is out.
        feed.renderTo(std::max(sample + 1, nextSample));

        // Everything heard up to and including the frame's sample.
        while (feed.nextOrderStart < feed.orderStarts.size() && feed.orderStarts[feed.nextOrderStart].sample <= sample)
            songOrder = feed.orderStarts[feed.nextOrderStart++].order;
        while (feed.nextTrigger < feed.triggers.size() && feed.triggers[feed.nextTrigger].sample <= sample) {
            const int instrument = feed.triggers[feed.nextTrigger++].instrument;
            if (instrument >= 0 && instrument < 256 && callbacks[instrument] != nullptr)
                callbacks[instrument](nullptr, static_cast<unsigned char>(instrument));
        }

        // The clocks as the live loop reads them this long after its start,
        // the song's order there, the pulses and beat count the triggers left
        // and the marcher's values from the frames before.
        const double elapsedMs = double(k) * 1000.0 / span.fps;
        FrameState state = currentFrameState();
        state.timeMs = f32(0.0 - elapsedMs);
        state.seconds = elapsedMs * double(0.001f);
        state.order = songOrder;
        drawFrame(state);

        if (k >= span.firstFrame) {
            sink.picture(k, state, screenCells);
            feed.dropBefore(sample);
            const std::int64_t available = feed.base + static_cast<std::int64_t>(feed.audio.size() / 2);
            const std::int64_t soundEnd = std::min(nextSample, available);
            if (soundEnd > feed.base) sink.sound(feed.audio.data(), static_cast<std::size_t>(soundEnd - feed.base));
            ++outcome.framesHanded;
        }
        feed.dropBefore(nextSample);
        decayPulses();
        ++outcome.framesRun;
        outcome.lastOrder = state.order;
        if (state.order >= 41) break;
        if (!sink.keepGoing(k)) {
            outcome.stopped = true;
            break;
        }
    }
    return outcome;
}
