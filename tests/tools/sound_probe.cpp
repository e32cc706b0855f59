// Plays a module through the live output for a number of seconds, as the demo
// does, and prints when (steady-clock nanoseconds) each order change and
// instrument callback reached the program, for tests that compare this with a
// recording of the sound server. With --spin the main thread polls the order
// without pause, as the unpaced frame loop does.
//
//   sound_probe MODULE SECONDS [--delay MS] [--spin] [--eq]
//
// --eq puts the demo's two equalisers on the output, as the demo does.
//
// Output lines: "play NS", "order NS ORDER", "trigger NS INSTRUMENT",
// "offdevice NS", "underrun FRAMES" (while the song
// played), "latency FRAMES", "ondevice 0|1"; on
// stderr, when the sound was lost or never there, the demo's end message.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include "platform/sound_library.h"
#include "platform/sound/audio_device.h"
#include "platform/sound/threaded_output.h"
#include "platform/sound/offline.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nanosNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct Heard {
    std::atomic<std::int64_t> nanos{0};
    std::atomic<int> instrument{0};
};
constexpr int maxTriggers = 1 << 14;
std::array<Heard, maxTriggers> triggers;
std::atomic<int> triggerCount{0};

void noteCallback(FMUSIC_MODULE*, unsigned char instrument) {
    const int at = triggerCount.load(std::memory_order_relaxed);
    if (at >= maxTriggers) return;
    triggers[static_cast<std::size_t>(at)].nanos.store(nanosNow(), std::memory_order_relaxed);
    triggers[static_cast<std::size_t>(at)].instrument.store(instrument, std::memory_order_relaxed);
    triggerCount.store(at + 1, std::memory_order_release);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sound_probe MODULE SECONDS [--delay MS] [--spin]\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    int delayMs = 0;
    bool spin = false;
    bool equalisers = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--delay") == 0 && i + 1 < argc) {
            delayMs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--spin") == 0) {
            spin = true;
        } else if (std::strcmp(argv[i], "--eq") == 0) {
            equalisers = true;
        }
    }
    FSOUND_Init(44100, 64, 0);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(argv[1]);
    if (song == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    for (int instrument = 0; instrument < 32; ++instrument) FMUSIC_SetInstCallback(song, noteCallback, instrument);
    setSoundEventDelayMs(delayMs);
    if (equalisers) {
        for (const sound::EqSetting& eq : {sound::demoEqHigh, sound::demoEqLow}) {
            FSOUND_FX_SetParamEQ(FSOUND_FX_Enable(FSOUND_SYSTEMCHANNEL, FSOUND_FX_PARAMEQ), eq.centre, eq.bandwidth, eq.gain);
        }
    }

    static std::int64_t orderNanos[4096];
    static int orderValue[4096];
    int orders = 0;
    std::int64_t offDevice = 0;
    const bool startedOnDevice = sound::threadedOutput().onDevice();

    const std::int64_t underrunBefore = sound::threadedOutput().underrunFrames();
    const std::int64_t play = nanosNow();
    FMUSIC_PlaySong(song);
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    // The order is watched by a thread of its own, raised above the load
    // where the system allows, so its times are when the order reached the
    // program; the main thread spins like an unpaced frame loop with --spin.
    std::thread watcher([&] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10);
        int last = -1;
        while (Clock::now() < until) {
            const int order = FMUSIC_GetOrder(song);
            if (order != last && orders < 4096) {
                orderNanos[orders] = nanosNow();
                orderValue[orders++] = order;
                last = order;
            }
            if (startedOnDevice && offDevice == 0 && !sound::threadedOutput().onDevice()) offDevice = nanosNow();
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    std::atomic<int> seen{0};
    while (Clock::now() < until) {
        seen.store(FMUSIC_GetOrder(song), std::memory_order_relaxed);
        if (!spin) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    watcher.join();
    const std::int64_t underrun = sound::threadedOutput().underrunFrames() - underrunBefore;
    // What the output takes the device to hold between the mix and the sound.
    const int latency = sound::threadedOutput().onDevice() ? sound::device::heldFrames() : 0;
    FMUSIC_FreeSong(song);

    std::printf("play %lld\n", static_cast<long long>(play));
    std::printf("ondevice %d\n", startedOnDevice ? 1 : 0);
    std::printf("latency %d\n", latency);
    std::printf("underrun %lld\n", static_cast<long long>(underrun));
    if (offDevice != 0) std::printf("offdevice %lld\n", static_cast<long long>(offDevice));
    for (int i = 0; i < orders; ++i) std::printf("order %lld %d\n", static_cast<long long>(orderNanos[i]), orderValue[i]);
    const int count = triggerCount.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        std::printf("trigger %lld %d\n", static_cast<long long>(triggers[static_cast<std::size_t>(i)].nanos.load()),
                    triggers[static_cast<std::size_t>(i)].instrument.load());
    }
    const std::string problem = soundOutputProblem();
    if (!problem.empty()) std::fprintf(stderr, "The song played without sound: %s\n", problem.c_str());
    return 0;
}
