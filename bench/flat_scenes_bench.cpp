// One full frame (4000 cells, no presenting) of each flat scene, at several
// clock values. Reports the median over repetitions, in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "host/frame_state.h"
#include "host/screen.h"

namespace {

// Song orders that show the scenes: 5 warped rings, 9 stripes, 26 plasma.
void flatFrame(benchmark::State& state) {
    FrameState frame;
    frame.order = static_cast<int>(state.range(0));
    frame.timeMs = -static_cast<float>(state.range(1));
    frame.seconds = -frame.timeMs / 1000.0;
    frame.pulseA = 1.5f;
    frame.pulseB = 0.5f;
    frame.pulseC = 2.0f;
    frame.captions = false;
    for (auto _ : state) {
        drawFrame(frame);
        benchmark::DoNotOptimize(screenCells);
        benchmark::ClobberMemory();
    }
    state.SetLabel(scene == 1 ? "warped rings" : scene == 3 ? "stripes" : "plasma");
}

void clockValues(benchmark::internal::Benchmark* b) {
    for (int o : {5, 9, 26})
        for (int ms : {1000, 60000, 600000}) b->Args({o, ms});
}

BENCHMARK(flatFrame)
    ->Apply(clockValues)
    ->ArgNames({"order", "ms"})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
