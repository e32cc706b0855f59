// Cost of showing one frame on a terminal: composing the update and writing
// it (to /dev/null, so the terminal's own speed stays out). Prints the bytes
// sent per frame beside the CPU time.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/terminal_screen.h"

namespace {

struct Frames {
    CHAR_INFO a[80 * 50]{};
    CHAR_INFO b[80 * 50]{};
    Frames() {
        // Every cell differs between the two frames in glyph and colour, with
        // the colour changing from cell to cell as the scenes' bands do.
        const int glyphs[] = {4, 7, 8, 9, 10, 15, 219, 250};
        for (int i = 0; i < 80 * 50; ++i) {
            a[i].Char.UnicodeChar = static_cast<std::uint16_t>(glyphs[i % 8]);
            a[i].Attributes = static_cast<WORD>(1 + (i / 3) % 15);
            b[i].Char.UnicodeChar = static_cast<std::uint16_t>(glyphs[(i + 3) % 8]);
            b[i].Attributes = static_cast<WORD>(1 + (i / 3 + 7) % 15);
        }
    }
};

void present(benchmark::State& state, const char* term, bool everyCellChanges) {
    static const Frames frames;
    TerminalScreen screen(loadTerminalStyle(term, true));
    const int sink = ::open("/dev/null", O_WRONLY);
    screen.compose(frames.a);
    std::size_t bytes = 0;
    bool flip = false;
    for (auto _ : state) {
        flip = everyCellChanges ? !flip : false;
        const std::string& update = screen.compose(flip ? frames.b : frames.a);
        if (!update.empty() && ::write(sink, update.data(), update.size()) < 0) state.SkipWithError("write failed");
        bytes = update.size();
    }
    ::close(sink);
    state.counters["bytes_per_frame"] = static_cast<double>(bytes);
}

void EveryCellChanges16Colours(benchmark::State& state) { present(state, "xterm-256color", true); }
void NothingChanges16Colours(benchmark::State& state) { present(state, "xterm-256color", false); }
void EveryCellChanges8Colours(benchmark::State& state) { present(state, "xterm", true); }

}  // namespace

BENCHMARK(EveryCellChanges16Colours);
BENCHMARK(NothingChanges16Colours);
BENCHMARK(EveryCellChanges8Colours);
BENCHMARK_MAIN();
