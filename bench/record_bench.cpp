// Recording speed: build/compofiller-record run on the whole bundled song,
// as a ratio of the time it takes to the song's length (below 1 is faster
// than real time). Also the demo's own share: the same frames run without
// pictures or encoding (a PNG of the last frame).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/sound/offline.h"

namespace {

const std::string buildDir = COMPOFILLER_BUILD_DIR;

double songSeconds() { return sound::inspectFile(buildDir + "/QUILLOW3.oxm").facts.durationSeconds; }

// Runs the recorder with `arguments`; false when it fails.
bool runRecorder(const std::vector<std::string>& arguments) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv;
        std::string tool = buildDir + "/compofiller-record";
        argv.push_back(tool.data());
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (chdir(buildDir.c_str()) == 0) execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void record(benchmark::State& state, std::vector<std::string> arguments, const std::string& out) {
    const double length = songSeconds();
    if (length <= 0) {
        state.SkipWithError("no build/QUILLOW3.oxm: build the song_module target");
        return;
    }
    for (auto _ : state) {
        const double cpuBefore = childCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (!runRecorder(arguments)) {
            state.SkipWithError("compofiller-record failed");
            return;
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(wall);
        state.counters["ratio_to_song"] = wall / length;
        state.counters["cpu_s"] = childCpuSeconds() - cpuBefore;
        state.counters["song_s"] = length;
    }
    std::remove(out.c_str());
}

void BM_WholeSongMp4(benchmark::State& state, const std::string& preset) {
    const std::string out = "/tmp/compofiller-record-bench-" + std::to_string(getpid()) + ".mp4";
    record(state, {out, "--preset", preset}, out);
}

void BM_WholeSongFramesOnly(benchmark::State& state) {
    const std::string out = "/tmp/compofiller-record-bench-" + std::to_string(getpid()) + ".png";
    record(state, {out, "--from", "171", "--to", "171"}, out);
}

}  // namespace

BENCHMARK_CAPTURE(BM_WholeSongMp4, superfast, std::string("superfast"))->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_WholeSongMp4, veryfast, std::string("veryfast"))->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_WholeSongFramesOnly)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
