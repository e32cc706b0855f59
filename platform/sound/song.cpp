#include "platform/sound/song.h"

#include <libopenmpt/libopenmpt.hpp>

namespace sound {

LiveSong::LiveSong(FMUSIC_MODULE* owner, std::unique_ptr<openmpt::module> module)
    : handle(owner), stepper(std::move(module)) {}

void LiveSong::mix(float* out, std::size_t frames, std::int64_t outputBase) {
    if (firstFrame() < 0) placeAt(outputBase);
    stepper.render(out, frames, *this);
}

// A full queue (the dispatcher held up for seconds) loses the newest events
// rather than block the mixer.
void LiveSong::event(const PlayEvent& e) { queue.push(e); }

}  // namespace sound
