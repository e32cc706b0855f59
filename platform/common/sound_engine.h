#pragma once
// The player behind the sound library calls and the offline renderer: a
// libopenmpt module stepped tick by tick, so that every row start is seen at
// its exact sample, with the tracker's rules for which cells start a note; and
// the parametric equalisers of the global output.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/common/sound_offline.h"

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

// Parametric equalisers in a chain, set from any thread and applied by the
// mixing thread from its next block on.
class EqChain {
public:
    static constexpr int capacity = 16;

    // Adds a flat equaliser at the end of the chain; its id, or -1 when full.
    int add();
    // Unknown ids are ignored. Non-finite values are ignored.
    void set(int id, float centre, float bandwidthSemitones, float gainDb);
    // Mixing thread only.
    void process(float* interleaved, std::size_t frames, int rate);

private:
    struct Slot {
        std::atomic<float> centre{1000.0f};
        std::atomic<float> bandwidth{12.0f};
        std::atomic<float> gain{0.0f};
        std::atomic<std::uint32_t> version{0};
    };
    struct Filter {
        std::uint32_t seenVersion = 0xffffffffu;
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double x1[2] = {0, 0}, x2[2] = {0, 0}, y1[2] = {0, 0}, y2[2] = {0, 0};
    };
    std::array<Slot, capacity> slots;
    std::array<Filter, capacity> filters;  // mixing thread's copy
    std::atomic<int> count{0};
};

// Peaking biquad coefficients (b0, b1, b2, a1, a2, normalised by a0).
std::array<double, 5> peakingCoefficients(double centre, double bandwidthSemitones, double gainDb, int rate);

}  // namespace sound
