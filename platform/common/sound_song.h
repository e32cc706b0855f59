#pragma once
// The song handle behind FMUSIC_MODULE, shared by the live player and the
// offline renderer.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

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
// The handle of a song just loaded from `bytes`, with its playback on the
// output; each output (the threaded one, the web page's) makes its own.
FMUSIC_MODULE* newSongHandle(std::vector<std::uint8_t> bytes, std::unique_ptr<openmpt::module> module);
}  // namespace sound
