#pragma once
// The system's audio output as the threaded output sees it: one default
// device at a time, opened with a format and a pull callback that the
// device's own thread calls for each buffer it wants. One back-end per
// system: audio_device_sdl.cpp (SDL2: PulseAudio, PipeWire, ALSA) and
// audio_device_waveout.cpp (Windows). The output keeps the ring, the clocks
// and the song; the back-end only opens, feeds and closes the device. A web
// page has one thread and pushes its sound to the page's audio worklet
// instead: its back-end, audio_device_webaudio.cpp, is the whole output there.
#include <cstdint>
#include <string>

namespace sound::device {

enum class SampleFormat : std::uint8_t { float32, int16 };

struct Format {
    int rate = 44100;
    int channels = 2;
    int bufferFrames = 1024;  // frames asked at each pull
    SampleFormat sample = SampleFormat::float32;
};

// Fills `frames` interleaved frames at `out` in the format opened with.
// Called on the device's thread, never while the device is locked.
using Pull = void (*)(void* user, void* out, int frames);

// Opens the default device with exactly this format (the back-end converts
// whatever the hardware takes) and leaves it paused. False with the system's
// reason in `problem`. Opening again after close() finds the default device
// anew (a sound server that was restarted, another card).
bool open(const Format& format, Pull pull, void* user, std::string& problem);

// Stops the pulls and releases the device; nothing is pulled once it returns.
void close();

// Starts (false) or stops (true) the pulls.
void pause(bool paused);

// Keeps the pull callback out between lock() and unlock().
void lock();
void unlock();

// True once the system said the device went away (server died, card
// unplugged). A device that just stops pulling is the engine's to notice.
bool lost();

// Frames the device holds after a pull returns, before the newest of them
// is heard.
int heldFrames();

// Name of the system's driver in use ("pulseaudio", "pipewire", ...), or "".
std::string driverName();

// Gives the calling thread the priority of a thread that feeds the sound.
void raiseThreadPriority();

}  // namespace sound::device
