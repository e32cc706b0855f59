#pragma once
// A song as the sound library calls hand it out (FMUSIC_MODULE): the module
// file, the instrument callbacks registered on it, and its playback on the
// output (LiveSong): its player, which the output's mixer runs, and the order
// changes and note starts it finds, handed on once the output has them heard.
// The same on every system; the output decides who mixes and who hands on.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sound/event_queue.h"
#include "platform/sound/song_stepper.h"
#include "platform/sound_library.h"

namespace openmpt {
class module;
}

namespace sound {
class LiveSong;
}

struct FMUSIC_MODULE {
    static constexpr int instrumentSlots = 256;

    std::vector<std::uint8_t> bytes;  // the module file, for offline renders
    std::array<std::atomic<FMUSIC_CALLBACK>, instrumentSlots> callbacks{};  // by zero-based instrument
    std::unique_ptr<sound::LiveSong> live;  // playback on the output

    FMUSIC_CALLBACK callbackFor(int instrument) const {
        if (instrument < 0 || instrument >= instrumentSlots) return nullptr;
        return callbacks[static_cast<std::size_t>(instrument)].load(std::memory_order_acquire);
    }
};

namespace sound {

class LiveSong final : public EventSink {
public:
    LiveSong(FMUSIC_MODULE* owner, std::unique_ptr<openmpt::module> module);

    // The mixer: renders the song's next frames, the first of them at output
    // frame `outputBase`; the first mix places the song there unless the
    // output placed it already.
    void mix(float* out, std::size_t frames, std::int64_t outputBase);
    void event(const PlayEvent& e) override;

    // Output frame of the song's first frame, or -1 before it is placed.
    std::int64_t firstFrame() const { return first.load(std::memory_order_acquire); }
    void placeAt(std::int64_t outputFrame) { first.store(outputFrame, std::memory_order_release); }

    // The order heard so far (0 before the song is heard).
    int order() const { return heardOrder.load(std::memory_order_acquire); }

    struct Dispatched {
        bool stopped = false;   // stopped() said so around a callback
        std::int64_t next = -1;  // output frame of the next event, -1 for none yet
    };
    // The dispatcher: hands on the events heard by output frame `heard`,
    // oldest first: publishes the order changes and calls the instrument
    // callbacks. Asks `stopped` before and after each callback and returns
    // at once when it says the song was freed.
    template <typename Stopped>
    Dispatched dispatchDue(double heard, Stopped&& stopped) {
        Dispatched result;
        PlayEvent e;
        while (queue.peek(e)) {
            const std::int64_t at = e.frame + firstFrame();
            if (double(at) > heard) {
                result.next = at;
                break;
            }
            queue.pop();
            if (e.kind == EventKind::order) {
                heardOrder.store(e.order, std::memory_order_release);
            } else if (FMUSIC_CALLBACK callback = handle->callbackFor(e.instrument)) {
                if ((result.stopped = stopped())) return result;
                callback(handle, static_cast<unsigned char>(e.instrument));
                if ((result.stopped = stopped())) return result;
            }
        }
        return result;
    }

    FMUSIC_MODULE* const handle;

private:
    SongStepper stepper;
    EventQueue queue;
    std::atomic<std::int64_t> first{-1};
    std::atomic<int> heardOrder{0};
};

}  // namespace sound
