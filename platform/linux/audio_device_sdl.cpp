// The audio device on SDL2: SDL picks the driver (PulseAudio, PipeWire, ALSA)
// and calls back from its own audio thread for each buffer.
#include "platform/common/audio_device.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace sound::device {

namespace {

constexpr int pulseLatencyMs = 100;  // asked of a PulseAudio server

SDL_AudioDeviceID device = 0;
Pull pullCallback = nullptr;
void* pullUser = nullptr;
int frameBytes = 8;
int held = 2048;
bool subsystemUp = false;

// Sends stderr to a scratch file while the audio system opens, so that its
// libraries' complaints (ALSA prints many without a sound card) do not land
// on the terminal the demo draws on.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        scratch = std::tmpfile();
        saved = ::dup(STDERR_FILENO);
        if (scratch != nullptr && saved >= 0) ::dup2(::fileno(scratch), STDERR_FILENO);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        if (saved >= 0) {
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
        }
        if (scratch != nullptr) std::fclose(scratch);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

private:
    std::FILE* scratch = nullptr;
    int saved = -1;
};

void sdlCallback(void*, Uint8* stream, int length) {
    static thread_local bool scheduled = false;
    if (!scheduled) {
        // SDL's audio thread only copies from the engine's ring: let it run
        // real-time where the system allows (root, or a real-time limit),
        // as sound servers do; elsewhere it keeps SDL's own priority.
        scheduled = true;
        sched_param param{};
        param.sched_priority = 10;
        pthread_setschedparam(pthread_self(), SCHED_RR, &param);
    }
    pullCallback(pullUser, stream, length / frameBytes);
}

}  // namespace

bool open(const Format& format, Pull pull, void* user, std::string& problem) {
    if (device != 0) close();
    StderrCapture capture;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // SDL's PulseAudio stream asks the server to hold one buffer (23 ms):
    // a busy machine that holds SDL's audio thread back longer than that
    // makes the server play silence. A deeper server buffer rides over it;
    // the event clock allows for the latency. The user's own setting wins.
    ::setenv("PULSE_LATENCY_MSEC", std::to_string(pulseLatencyMs).c_str(), 0);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        problem = SDL_GetError();
        return false;
    }
    subsystemUp = true;
    pullCallback = pull;
    pullUser = user;
    const bool wide = format.sample == SampleFormat::float32;
    frameBytes = format.channels * (wide ? 4 : 2);
    SDL_AudioSpec want{};
    want.freq = format.rate;
    want.format = wide ? AUDIO_F32SYS : AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(format.channels);
    want.samples = static_cast<Uint16>(format.bufferFrames);
    want.callback = &sdlCallback;
    want.userdata = nullptr;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device takes, and the
    // callback always sees the format asked for, in buffers of that size.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        problem = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystemUp = false;
        return false;
    }
    // SDL has no latency query. Its ALSA device runs two periods of one
    // buffer; through PulseAudio, recordings of the server's sink put the
    // sound about two buffers after the callback too, or at
    // PULSE_LATENCY_MSEC when that asks for more.
    held = 2 * format.bufferFrames;
    if (driverName() == "pulseaudio") {
        if (const char* env = std::getenv("PULSE_LATENCY_MSEC")) {
            const long ms = std::strtol(env, nullptr, 10);
            if (ms > 0 && ms <= 10000) held = std::max<int>(held, static_cast<int>(ms * format.rate / 1000));
        }
    }
    return true;
}

void close() {
    if (device != 0) {
        SDL_CloseAudioDevice(device);
        device = 0;
    }
    if (subsystemUp) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystemUp = false;
    }
}

void pause(bool paused) {
    if (device != 0) SDL_PauseAudioDevice(device, paused ? 1 : 0);
}

void lock() {
    if (device != 0) SDL_LockAudioDevice(device);
}

void unlock() {
    if (device != 0) SDL_UnlockAudioDevice(device);
}

bool lost() { return device != 0 && SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED; }

int heldFrames() { return held; }

std::string driverName() {
    const char* name = SDL_GetCurrentAudioDriver();
    return name != nullptr ? name : "";
}

void raiseThreadPriority() { SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH); }

}  // namespace sound::device
