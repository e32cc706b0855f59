#pragma once
// A playing song's dispatcher on the threaded output: a thread of its own
// that hands on the song's events when the output has them heard, so that a
// slow callback holds up neither the mix nor the frame loop.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace sound {

class LiveSong;

class SongDispatcher {
public:
    // `heard`: the output frame whose events are due now.
    SongDispatcher(LiveSong& song, std::function<std::int64_t()> heard);
    ~SongDispatcher() { stop(); }
    SongDispatcher(const SongDispatcher&) = delete;
    SongDispatcher& operator=(const SongDispatcher&) = delete;

    void start();
    // Stops the thread: no callback runs once it returns. False when called
    // from the dispatcher itself (a callback freeing its own song): the
    // thread then ends on its own once the callback returns, and this object
    // must stay until then.
    bool stop();

private:
    void loop();

    LiveSong& song;
    std::function<std::int64_t()> heardFrame;
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool stopping = false;  // under wakeMutex
    std::thread thread;
};

}  // namespace sound
