#include "platform/sound/song_dispatcher.h"

#include <algorithm>
#include <chrono>

#include "platform/sound/audio_device.h"
#include "platform/sound/offline.h"
#include "platform/sound/song.h"

namespace sound {

SongDispatcher::SongDispatcher(LiveSong& song, std::function<std::int64_t()> heard)
    : song(song), heardFrame(std::move(heard)) {}

void SongDispatcher::start() {
    if (thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(wakeMutex);
        stopping = false;
    }
    thread = std::thread([this] { loop(); });
}

bool SongDispatcher::stop() {
    {
        std::lock_guard<std::mutex> lock(wakeMutex);
        stopping = true;
    }
    wake.notify_all();
    if (!thread.joinable()) return true;
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
        return false;
    }
    thread.join();
    return true;
}

void SongDispatcher::loop() {
    // Callbacks are due when the sound is heard, busy machine or not.
    device::raiseThreadPriority();
    const auto stopped = [this] {
        std::lock_guard<std::mutex> lock(wakeMutex);
        return stopping;
    };
    for (;;) {
        const std::int64_t heard = heardFrame();
        const LiveSong::Dispatched done = song.dispatchDue(static_cast<double>(heard), stopped);
        if (done.stopped) return;
        auto wait = std::chrono::microseconds(2000);
        if (done.next >= 0) {
            wait = std::min(wait, std::chrono::microseconds((done.next - heard) * 1000000 / sampleRate + 1));
        }
        std::unique_lock<std::mutex> lock(wakeMutex);
        if (wake.wait_for(lock, wait, [this] { return stopping; })) return;
    }
}

}  // namespace sound
