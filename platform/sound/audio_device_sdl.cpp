// The audio device on SDL2: SDL picks the driver (PulseAudio, PipeWire, ALSA)
// and calls back from its own audio thread for each buffer.
#include "platform/sound/audio_device.h"

#include <SDL2/SDL.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pthread.h>
#include <sched.h>
#include <string>
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

// The local socket of the PulseAudio server a client would talk to:
// PULSE_SERVER's first entry when it names one ("unix:/path", "/path", with
// or without a "{machine}" prefix), else the user's runtime folder. Empty for
// a server over the network.
std::string pulseSocketPath() {
    if (const char* list = std::getenv("PULSE_SERVER"); list != nullptr && list[0] != '\0') {
        std::string entry(list);
        entry = entry.substr(0, entry.find(' '));
        if (!entry.empty() && entry[0] == '{') {
            const auto close = entry.find('}');
            entry = close == std::string::npos ? "" : entry.substr(close + 1);
        }
        if (entry.rfind("unix:", 0) == 0) entry = entry.substr(5);
        return !entry.empty() && entry[0] == '/' ? entry : "";
    }
    if (const char* runtime = std::getenv("PULSE_RUNTIME_PATH"); runtime != nullptr && runtime[0] != '\0')
        return std::string(runtime) + "/native";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] != '\0')
        return std::string(runtime) + "/pulse/native";
    return "";
}

// Whether the PulseAudio server is PipeWire's (pipewire-pulse): the process
// at the other end of its socket, by its name.
bool pulseServerIsPipeWire() {
    const std::string path = pulseSocketPath();
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ucred peer{};
    socklen_t size = sizeof peer;
    const bool known = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid > 0;
    ::close(fd);
    if (!known) return false;
    std::string name;
    std::getline(std::ifstream("/proc/" + std::to_string(peer.pid) + "/comm"), name);
    return name.rfind("pipewire", 0) == 0;
}

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
    // SDL's PipeWire stream asks for cycles of one buffer, but the graph runs
    // at the shortest cycle any client asks for (256 frames for a recorder
    // at 10 ms), and at that SDL's driver loses whole cycles. Holding the
    // graph at cycles of one buffer while the demo plays keeps it at what
    // the driver keeps up with (measured: no lost cycle). Only PipeWire's
    // client library reads this; the user's own setting wins.
    ::setenv("PIPEWIRE_PROPS", ("{ node.force-quantum = " + std::to_string(format.bufferFrames) + " }").c_str(), 0);
    // On a PipeWire desktop SDL would take its PulseAudio driver, through
    // pipewire-pulse; its own PipeWire driver measures better there (no
    // dropout idle or under load, events within 0.4 ms of the sound, where
    // pipewire-pulse lost sound under load). PulseAudio stays the fallback,
    // and SDL_AUDIODRIVER, when the user sets it, wins over this hint.
    SDL_SetHint(SDL_HINT_AUDIODRIVER, pulseServerIsPipeWire() ? "pipewire,pulseaudio" : nullptr);
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
