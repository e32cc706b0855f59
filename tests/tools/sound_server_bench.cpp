// Measures a program playing through a private PulseAudio server (or, with
// --pipewire, a private PipeWire with pipewire-pulse): starts the server, records its sink's monitor, optionally runs busy loops and kills
// the server mid-run, then compares the recording with a WAV render of the
// song and prints the dropouts. For the sound probe (tests/sound_probe) it
// also prints when orders and callbacks came against the recording, and how
// long the output took to notice a killed server.
//
//   sound_server_bench REFERENCE.wav [--busy N] [--kill-after MS] [--timeout S]
//                      [--pipewire] [--driver SDLDRIVER] -- PROGRAM ARGS...
//
// --driver picks SDL's audio driver for the program (default pulseaudio).
//
// REFERENCE.wav is compofiller-song's render of the song the program plays.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/offline.h"
#include "tests/support/pulse_server.h"
#include "tests/support/recording_compare.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: sound_server_bench REFERENCE.wav [--busy N] [--kill-after MS] [--timeout S] "
                             "[--module FILE] -- PROGRAM ARGS...\n");
        return 2;
    }
    const char* wav = argv[1];
    int busy = 0;
    int killAfterMs = -1;
    int timeout = 400;
    std::string module;
    std::string driver = "pulseaudio";
    bool pipewire = false;
    std::vector<std::string> program;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            for (++i; i < argc; ++i) program.emplace_back(argv[i]);
        } else if (a == "--busy" && i + 1 < argc) {
            busy = std::atoi(argv[++i]);
        } else if (a == "--kill-after" && i + 1 < argc) {
            killAfterMs = std::atoi(argv[++i]);
        } else if (a == "--timeout" && i + 1 < argc) {
            timeout = std::atoi(argv[++i]);
        } else if (a == "--module" && i + 1 < argc) {
            module = argv[++i];
        } else if (a == "--driver" && i + 1 < argc) {
            driver = argv[++i];
        } else if (a == "--pipewire") {
            pipewire = true;
        }
    }
    const std::vector<std::int16_t> reference = recording::readWav16(wav);
    if (reference.empty() || program.empty()) {
        std::fprintf(stderr, "no reference or no program\n");
        return 2;
    }
    std::unique_ptr<pulsetest::SoundServer> owned;
    if (pipewire) {
        owned = std::make_unique<pulsetest::PipeWireServer>();
    } else {
        owned = std::make_unique<pulsetest::PulseServer>();
    }
    pulsetest::SoundServer& server = *owned;
    if (!server.ok()) {
        std::fprintf(stderr, "no server: %s\n", server.why().c_str());
        return 1;
    }
    pulsetest::MonitorRecorder recorder(server);
    if (!recorder.waitForData(5000)) {
        std::fprintf(stderr, "parec recorded nothing\n");
        return 1;
    }
    std::unique_ptr<pulsetest::BusyLoops> load;
    if (busy > 0) load = std::make_unique<pulsetest::BusyLoops>(busy, timeout);
    std::int64_t killNanos = 0;
    const pulsetest::RunResult run = pulsetest::runProgram(program, server.clientEnvironment(driver), timeout, killAfterMs,
                                                           [&] {
                                                               killNanos = pulsetest::steadyNanos();
                                                               server.kill();
                                                           });
    load.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    const std::vector<std::int16_t> recorded = recorder.stop();
    std::printf("exit status %d\nstderr: %s\n", run.status, run.err.c_str());

    const recording::Comparison c = recording::compare(recorded, reference);
    if (!c.aligned) {
        std::printf("song not found in the recording\n");
        return 1;
    }
    std::printf("compared %.1f s of %.1f s\ndropouts %zu\n", c.comparedFrames / 44100.0,
                reference.size() / 2 / 44100.0, c.dropouts.size());
    for (const recording::Dropout& d : c.dropouts) {
        std::printf("  at %.3f s of the song, song moved by %+.1f ms\n", d.referenceFrame / 44100.0,
                    d.skippedFrames * 1000.0 / 44100.0);
    }
    // The probe's report: order changes against the recording (up to the
    // first dropout, after which the recording's timing is lost).
    std::istringstream lines(run.out);
    std::string word;
    std::vector<std::pair<long long, int>> orders;
    long long offDevice = 0;
    while (lines >> word) {
        if (word == "order") {
            long long t = 0;
            int o = 0;
            lines >> t >> o;
            orders.emplace_back(t, o);
        } else if (word == "offdevice") {
            lines >> offDevice;
        } else if (word == "underrun") {
            long long u = 0;
            lines >> u;
            std::printf("frames the device got as silence while the song played: %lld\n", u);
        }
    }
    if (killNanos > 0 && offDevice > 0) {
        std::printf("device loss noticed %.1f ms after the kill\n", (offDevice - killNanos) / 1e6);
    }
    if (!module.empty() && !orders.empty()) {
        sound::RenderOptions options;
        options.keepAudio = false;
        options.demoEqualisers = true;
        const sound::RenderResult song = sound::renderFile(module, options);
        const std::int64_t limit = c.dropouts.empty() ? INT64_MAX : c.dropouts.front().referenceFrame;
        const std::int64_t stopAt = killNanos > 0 ? killNanos : INT64_MAX;
        for (const sound::OrderStart& start : song.orderStarts) {
            if (start.sample >= limit) break;
            const auto seen = std::find_if(orders.begin(), orders.end(), [&](const auto& o) { return o.second == start.order; });
            if (seen == orders.end() || seen->first >= stopAt || start.order == 0) continue;
            const double heardMs = (recorder.frameZeroNanos() + (start.sample + c.lag) * 1e9 / 44100.0) / 1e6;
            std::printf("order %2d: picture %+.1f ms after the sound\n", start.order, seen->first / 1e6 - heardMs);
        }
    }
    return 0;
}
