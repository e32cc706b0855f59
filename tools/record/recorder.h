#pragma once
// Runs the demo's frames offline against the song's offline render: frame k
// shows the song at k / fps seconds, with the clocks the live loop would read
// then, the song's order there, and the instrument callbacks of every trigger
// heard since the previous frame. The sound comes from the same render, cut
// at the frames' sample positions.
#include <cstdint>

#include "host/frame_state.h"
#include "platform/console.h"
#include "platform/sound/offline.h"

class RecordSink {
public:
    // A frame at or after the first one asked for: its index from the song's
    // start, the state it was drawn from (the frame tool draws the same
    // cells from it) and its cells.
    virtual void picture(std::int64_t frame, const FrameState& state, const CHAR_INFO* cells) = 0;
    // The sound of the frames handed on so far, in order, stereo frames.
    virtual void sound(const float* interleaved, std::size_t frames) = 0;
    // Called after every frame, drawn or not; false stops the run.
    virtual bool keepGoing(std::int64_t frame) = 0;

protected:
    ~RecordSink() = default;
};

struct RecordSpan {
    int fps = 60;
    std::int64_t firstFrame = 0;  // frames before it run but are not handed on
    std::int64_t endFrame = -1;   // no frame from here on; -1: to the song's end
};

struct RecordOutcome {
    std::int64_t framesRun = 0;
    std::int64_t framesHanded = 0;
    std::int32_t lastOrder = 0;
    bool stopped = false;  // keepGoing said no
};

// The sample of the song at which frame k is shown.
inline std::int64_t frameSample(std::int64_t frame, int fps) { return frame * sound::sampleRate / fps; }

// Runs frames from the song's start until the frame whose order is 41 or
// more, the end of the span, or the end of the song's first pass for a song
// that never reaches order 41. The song plays through the demo's equalisers.
RecordOutcome recordFrames(sound::OfflineSong& song, const RecordSpan& span, RecordSink& sink);
