#pragma once
// The player behind the sound library calls and the offline renderer: a
// libopenmpt module stepped tick by tick, so that every row start is seen at
// its exact sample, with the tracker's rules for which cells start a note.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound/offline.h"

namespace openmpt {
class module;
}

namespace sound {

enum class EventKind : std::uint8_t { order, trigger };

// What the mixing thread hands on: an order change or a note start, at a
// frame of the song (from its first sample).
struct PlayEvent {
    std::int64_t frame = 0;
    std::int32_t order = 0;
    std::int32_t row = 0;
    std::int32_t channel = 0;
    std::int32_t instrument = -1;  // zero-based, triggers only
    EventKind kind = EventKind::order;
};

class EventSink {
public:
    virtual void event(const PlayEvent& e) = 0;

protected:
    ~EventSink() = default;
};

// Reads the facts of a loaded module.
SongFacts factsOf(const openmpt::module& module, const void* data, std::size_t size);

// Loads module bytes; null with the reason in error when libopenmpt cannot.
std::unique_ptr<openmpt::module> loadModule(const void* data, std::size_t size, std::string& error);

// Steps a module tick by tick. Owned by one thread at a time.
class SongStepper {
public:
    explicit SongStepper(std::unique_ptr<openmpt::module> module);
    ~SongStepper();
    SongStepper(const SongStepper&) = delete;
    SongStepper& operator=(const SongStepper&) = delete;

    // Repeat from the restart position at the end (true) or stop there.
    void setRepeat(bool repeat);
    // Renders up to `frames` stereo frames; fewer only at the end of a song
    // that does not repeat. Events go to the sink with song frames.
    // Allocates nothing.
    std::size_t render(float* out, std::size_t frames, EventSink& sink);
    std::int64_t frame() const { return songFrame; }
    bool ended() const { return atEnd; }
    const openmpt::module& module() const { return *mod; }

private:
    struct Pending {
        int tick = -1;  // tick of the row at which the delayed note starts
        int instrument = 0;
        int row = 0;
        int order = 0;
    };
    void startTick(EventSink& sink);
    void startRow(int order, int row, int pattern, int speed, EventSink& sink);

    std::unique_ptr<openmpt::module> mod;
    std::int64_t songFrame = 0;
    std::int64_t tickEnd = 0;  // frame at which the next tick starts
    int curOrder = -1;
    int curRow = -1;
    int curPattern = -1;
    int tickInRow = 0;
    int rowTicks = 1;          // ticks the current row lasts (speed x pattern delay)
    bool rowMayRepeat = false; // the row jumps or loops, possibly onto itself
    bool atEnd = false;
    int channelCount = 0;
    std::vector<int> channelInstrument;  // 1-based, 0 none
    std::vector<Pending> pending;
};

}  // namespace sound
