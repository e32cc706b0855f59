#pragma once
// The output on a system with threads (output.h), over the audio device of
// audio_device.h. A mixing thread renders the playing song through the
// equalisers into a ring, at least 300 ms ahead of what is heard, so that the
// device's callback only copies from it and a busy machine cannot starve it
// (output_mixer.cpp). Without a device, or once the device stops or goes
// away, the steady clock paces the output in silence from where the music
// is, the device is opened again until one takes sound, and the exit report
// tells where the sound stopped and came back (device_watch.cpp). The mixing
// thread alone touches the song's player; each playing song's events reach
// its own dispatcher (song_dispatcher.h) stamped with the output frame at
// which they are heard.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/device_clock.h"
#include "platform/sound/equaliser.h"
#include "platform/sound/exit_report.h"
#include "platform/sound/ring.h"
#include "platform/sound/silent_clock.h"
#include "platform/sound/song_dispatcher.h"

namespace sound {

class LiveSong;

class ThreadedOutput {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int bufferFrames = 1024;  // the device buffer asked for
    static constexpr int mixBlockFrames = 256;  // what the mixing thread renders at a time

    ~ThreadedOutput() { shutdown(); }

    bool init();
    bool ready();
    void shutdown();
    void setPaused(bool paused);
    void play(LiveSong& song);
    bool stop(LiveSong& song);
    void setEventDelay(int ms);
    EqChain& equalisers() { return eq; }
    std::string problem();

    // Output frames heard so far: from the device clock while the device
    // paces the output, else from the silent clock. Held while paused.
    std::int64_t audibleFrame();
    bool onDevice() const { return pacing.load(std::memory_order_acquire) == Pacing::device; }
    // Frames of silence the device got for want of mixed sound.
    std::int64_t underrunFrames() const { return ring.underrunFrames(); }

private:
    // How the output is paced. The device mode hands the mix to the audio
    // device; the silent mode follows the steady clock, from the start when
    // no device opens, or from the moment the device goes away.
    enum class Pacing : std::uint32_t { none, device, silent };

    // output_mixer.cpp
    static void deviceCallback(void* user, void* stream, int frames);
    void mixLoop();
    void mixBlock(std::int64_t at);
    std::int64_t leadFrames() const;
    std::int64_t eventDelayFrames() const { return eventDelay.load(std::memory_order_acquire); }
    void putOnOutput(LiveSong& song);
    std::int64_t songFrames(std::int64_t outputFrame);
    std::int64_t silentFrameLocked(Clock::time_point now) const { return silent.frame(now, paused); }
    bool openDevice(std::string& problem);

    // device_watch.cpp
    void watchDevice(Clock::time_point now);
    bool deviceGone(Clock::time_point now);
    void switchToSilence(const char* reason, Clock::time_point now);
    bool callingBackSteadily(Clock::time_point now);
    void backOnDevice(Clock::time_point now);
    void startReopen();
    void reopenLoop();

    std::mutex stateMutex;  // initialisation, pause state, the problem, the watch and the silent clock
    bool initialised = false;
    bool shuttingDown = false;
    bool paused = false;
    std::string outputProblem;
    bool deviceOpen = false;  // the back-end holds an open device
    bool reopening = false;   // the reopening thread owns the device
    std::map<LiveSong*, std::unique_ptr<SongDispatcher>> songs;  // played and not yet stopped
    std::atomic<Pacing> pacing{Pacing::none};

    // The mixing thread renders into the ring ahead of the consumer (the
    // device callback, or the silent clock). `mixMutex` is held while it
    // renders a block, so that a song taken off the output is no longer in use.
    std::mutex mixMutex;
    std::atomic<LiveSong*> playing{nullptr};
    EqChain eq;
    Ring ring;
    std::vector<float> block;                 // the block being mixed
    std::atomic<std::int64_t> eventDelay{0};  // frames; positive: events after the sound
    std::atomic<int> heldFrames{2 * bufferFrames};  // what the device holds after a callback
    std::condition_variable mixerWake;
    std::thread mixer;
    DeviceClock deviceClock{bufferFrames};
    SilentClock silent;  // under stateMutex
    // How far behind the steady clock the first song started on the device
    // (0 or less, under stateMutex): a device slow to open or to start had
    // not yet taken the silent lead then. The bound on how far ahead a device
    // may take the song counts from the song's start, so such a device, if it
    // then takes sound faster than real time, gets the song no more than a
    // ring ahead either. Back to 0 where the silent clock is set to the sound.
    std::int64_t startBehindClock = 0;

    // The device watch (mixing thread, under stateMutex): a device that stops
    // calling back for too long while this thread kept running is taken as
    // gone.
    std::uint32_t watchedCallbacks = 0;
    Clock::time_point watchedSince{};
    Clock::time_point lastWatch{};
    Clock::time_point firstCallbackAt{};  // the watch's first sight of a callback
    bool deviceRunning = false;  // took sound after its first fill
    // Off the device while it stays open (stalled, or opened again): the
    // watch for steady callbacks that take it back.
    Clock::time_point offDeviceSince{};
    std::uint32_t resumeBase = 0;
    std::uint32_t resumeLast = 0;
    Clock::time_point resumeSince{};
    Clock::time_point resumeLastAt{};
    bool catchingUp = false;  // the silent clock was set ahead of the mix
    std::thread reopener;
    std::condition_variable reopenWake;
    ExitReport report;
};

// The one output of the program.
ThreadedOutput& threadedOutput();

}  // namespace sound
