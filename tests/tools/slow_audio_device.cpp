// Preloaded (LD_PRELOAD) into a program that plays through SDL, makes its
// audio device slow to open (0.7 s) and then slow to start (its first
// unpause takes effect 0.3 s later), as a sink waking from suspend or a
// Bluetooth output can be. The program's clock runs on meanwhile.
#include <dlfcn.h>

#include <SDL.h>

#include <chrono>
#include <thread>

namespace {

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char* name, int capture, const SDL_AudioSpec* want,
                                                 SDL_AudioSpec* have, int changes) {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    using Open = SDL_AudioDeviceID (*)(const char*, int, const SDL_AudioSpec*, SDL_AudioSpec*, int);
    return next<Open>("SDL_OpenAudioDevice")(name, capture, want, have, changes);
}

extern "C" void SDL_PauseAudioDevice(SDL_AudioDeviceID device, int pause) {
    using Pause = void (*)(SDL_AudioDeviceID, int);
    static bool started = false;
    if (pause == 0 && !started) {
        started = true;
        std::thread([device] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            next<Pause>("SDL_PauseAudioDevice")(device, 0);
        }).detach();
        return;
    }
    next<Pause>("SDL_PauseAudioDevice")(device, pause);
}
