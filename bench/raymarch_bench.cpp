// Frame cost of the distance-field scenes: every scene is rendered at 8 clock
// values spread over its orders of the song, with the pulses at rest and just
// after a trigger, the far limit at 96. Prints the median and the worst frame
// and the mean and largest number of march steps per cell.
//
//   raymarch_bench                  the summary table, then the Google Benchmark runs
//   raymarch_bench --frames K       renders the 16 frames of scene row K (0 to 5) of the
//                                   table once, for instruction counts under callgrind
//   raymarch_bench --scan [stepMs [scenes]]
//                                   march steps over the whole song every stepMs
//                                   (default 50) at several pulse levels, with the
//                                   largest far limit each scene can have (97; 128
//                                   for scene 7); cells stopped by the step limit are
//                                   marched on without a limit to see how they end;
//                                   scenes such as "09" picks scenes by number
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/frame_state.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/marcher.h"

namespace {

constexpr double msPerOrder = 4400.0;

struct SceneRange {
    int scene;
    int firstOrder;
    int lastOrder;
    const char* name;
};

constexpr SceneRange sceneRanges[] = {
    {0, 0, 3, "0 beam lattice"}, {9, 12, 15, "9 cube lattice"}, {2, 16, 25, "2 torus rings"},
    {5, 28, 31, "5 cone forest"}, {8, 32, 37, "8 torus tunnel"}, {7, 38, 40, "7 ring tunnel"},
};

// A pulse decayed by the frame loop's step until it is no longer above 0.
float restingPulse(float full, float stepSize) {
    float p = full;
    while (p > 0.0f) p = f32(double(p) - double(stepSize));
    return p;
}

struct FrameSetting {
    float timeMs;
    std::int32_t order;
    bool triggered;
};

// The frame state of a setting: the song's order at that clock, the pulses
// at rest or just triggered, no captions (only the scene is measured); the
// beat count and the order wobble as the frames before left them, as in a
// run of the song.
FrameState frameFor(const FrameSetting& f, float far) {
    FrameState state = currentFrameState();
    state.timeMs = f.timeMs;
    state.seconds = -double(f.timeMs) / 1000.0;
    state.order = f.order;
    state.farLimit = far;
    state.captions = false;
    const bool t = f.triggered;
    state.pulseA = t ? 3.0f : restingPulse(3.0f, 0.1f);
    state.pulseB = t ? 3.0f : restingPulse(3.0f, 0.1f);
    state.pulseC = t ? 4.0f : restingPulse(4.0f, 0.2f);
    return state;
}

std::vector<FrameSetting> settingsFor(const SceneRange& r) {
    std::vector<FrameSetting> out;
    const double start = r.firstOrder * msPerOrder + 150.0;
    const double end = (r.lastOrder + 1) * msPerOrder - 150.0;
    for (int i = 0; i < 8; ++i) {
        const double ms = start + (end - start) * i / 7.0;
        const auto o = static_cast<std::int32_t>(ms / msPerOrder);
        for (bool trig : {false, true}) out.push_back({f32(-ms), o, trig});
    }
    return out;
}

// Renders one frame cell by cell as the frame loop does, noting the steps of
// every cell.
void renderCounting(std::uint64_t& total, std::uint64_t& worstCell) {
    for (row = 0; row < 50; ++row) {
        for (col = 0; col < 80; ++col) {
            cellX = static_cast<float>(col - 40.0);
            cellY = static_cast<float>(row - 25.0);
            const std::uint64_t before = marchStepCount;
            marchCell();
            const std::uint64_t steps = marchStepCount - before;
            total += steps;
            worstCell = std::max(worstCell, steps);
        }
    }
}

double frameMs(const FrameSetting& f) {
    double best = 1e30;
    for (int rep = 0; rep < 5; ++rep) {
        const FrameState state = frameFor(f, 96.0f);
        const auto t0 = std::chrono::steady_clock::now();
        drawFrame(state);
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

void printSummary() {
    std::printf("%-16s %10s %10s %12s %12s\n", "scene", "median ms", "worst ms", "mean steps", "max steps");
    for (const SceneRange& r : sceneRanges) {
        std::vector<double> times;
        std::uint64_t total = 0, worstCell = 0, cells = 0;
        for (const FrameSetting& f : settingsFor(r)) {
            publishFrameState(frameFor(f, 96.0f));
            renderCounting(total, worstCell);
            cells += 4000;
            times.push_back(frameMs(f));
        }
        std::sort(times.begin(), times.end());
        const double median = (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
        std::printf("%-16s %10.3f %10.3f %12.2f %12llu\n", r.name, median, times.back(),
                    double(total) / double(cells), static_cast<unsigned long long>(worstCell));
    }
    std::fflush(stdout);
}

using Field = float (*)();

Field fieldFor(int sceneNumber) {
    switch (sceneNumber) {
        case 0: return beamLatticeField;
        case 2: return torusRingField;
        case 5: return coneField;
        case 7: return ringWaveField;
        case 8: return torusWaveField;
        default: return cubeLatticeField;
    }
}

// Marches the ray marchCell has just set up (rayDir, camPos) again, with no
// step limit up to maxSteps: the step at which it hits (positive), passes the
// far limit (negative), or 0 when it is still going.
long long marchOn(Field field, long long maxSteps) {
    float t = 1.0f;
    float d = 0.0001f;
    for (long long n = 1; n <= maxSteps; ++n) {
        t = f32(double(t) + d);
        rayPos.x = f32(double(rayDir.x) * t + camPos.x);
        rayPos.y = f32(double(rayDir.y) * t + camPos.y);
        rayPos.z = f32(double(rayDir.z) * t + camPos.z);
        d = field();
        if (d < 0.1f) return n;
        if (!(f32(std::fabs(double(rayPos.z) - camPos.z)) < farLimit)) return -n;
    }
    return 0;
}

// Steps over the whole song: the largest per cell, how many cells needed more
// than a few thresholds, and how the cells stopped by the step limit would
// have ended.
void scanSong(double stepMs, const char* onlyScenes) {
    const float levels[][3] = {{-0.1f, -0.1f, -0.2f}, {3.0f, 3.0f, 4.0f}, {1.5f, 0.7f, 2.0f}, {0.4f, 2.2f, 0.6f}};
    std::printf("%-16s %7s %7s %7s %8s %6s %6s %6s %7s  capped cells: hit after / far after / still going at 10^7\n",
                "scene", "frames", "mean", "max", "max hit", ">200", ">500", ">1000", "capped");
    for (const SceneRange& r : sceneRanges) {
        if (onlyScenes != nullptr && std::strchr(onlyScenes, '0' + r.scene) == nullptr) continue;
        std::uint64_t frames = 0, total = 0, worst = 0, over200 = 0, over500 = 0, over1000 = 0, capped = 0;
        long long hits = 0, fars = 0, endless = 0, latestHit = 0, latestFar = 0;
        std::uint64_t longestHit = 0;  // steps of the longest march that ended on a surface
        const double start = r.firstOrder * msPerOrder;
        const double end = (r.lastOrder + 1) * msPerOrder;
        for (double ms = start; ms < end; ms += stepMs) {
            for (const auto& lv : levels) {
                FrameState state;
                state.timeMs = f32(-ms);
                state.seconds = ms / 1000.0;
                state.order = std::min(static_cast<std::int32_t>(ms / msPerOrder), 38);
                state.farLimit = r.scene == 7 ? 128.0f : 97.0f;
                state.pulseA = lv[0];
                state.pulseB = lv[1];
                state.pulseC = lv[2];
                for (row = 0; row < 50; ++row) {
                    for (col = 0; col < 80; ++col) {
                        // Every cell from the same state: the fade-in would change the far limit.
                        publishFrameState(state);
                        cellX = static_cast<float>(col - 40.0);
                        cellY = static_cast<float>(row - 25.0);
                        const std::uint64_t before = marchStepCount;
                        glyphIndex = -1000000;  // shading a hit overwrites it
                        marchCell();
                        const std::uint64_t steps = marchStepCount - before;
                        if (glyphIndex != -1000000) longestHit = std::max(longestHit, steps);
                        total += steps;
                        worst = std::max(worst, steps);
                        over200 += steps > 200;
                        over500 += steps > 500;
                        over1000 += steps > 1000;
                        if (steps == static_cast<std::uint64_t>(marchStepLimit)) {
                            ++capped;
                            const long long n = marchOn(fieldFor(r.scene), 10000000);
                            if (n > 0) {
                                ++hits;
                                latestHit = std::max(latestHit, n);
                            } else if (n < 0) {
                                ++fars;
                                latestFar = std::max(latestFar, -n);
                            } else {
                                ++endless;
                            }
                        }
                    }
                }
                ++frames;
            }
        }
        std::printf("%-16s %7llu %7.2f %7llu %8llu %6llu %6llu %6llu %7llu  %lld (<= %lld) / %lld (<= %lld) / %lld\n",
                    r.name, (unsigned long long)frames, double(total) / double(frames * 4000),
                    (unsigned long long)worst, (unsigned long long)longestHit, (unsigned long long)over200, (unsigned long long)over500,
                    (unsigned long long)over1000, (unsigned long long)capped, hits, latestHit, fars, latestFar,
                    endless);
        std::fflush(stdout);
    }
}

void frameBenchmark(benchmark::State& state) {
    const SceneRange& r = sceneRanges[state.range(0)];
    const std::vector<FrameSetting> settings = settingsFor(r);
    std::size_t i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const FrameState frame = frameFor(settings[i], 96.0f);
        i = (i + 1) % settings.size();
        state.ResumeTiming();
        drawFrame(frame);
    }
    state.SetLabel(r.name);
}

}  // namespace

BENCHMARK(frameBenchmark)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--frames") == 0) {
        const SceneRange& r = sceneRanges[std::atoi(argv[2]) % 6];
        for (const FrameSetting& f : settingsFor(r)) drawFrame(frameFor(f, 96.0f));
        std::printf("%s: %llu march steps\n", r.name, static_cast<unsigned long long>(marchStepCount));
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--scan") == 0) {
        scanSong(argc >= 3 ? std::atof(argv[2]) : 50.0, argc >= 4 ? argv[3] : nullptr);
        return 0;
    }
    printSummary();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
