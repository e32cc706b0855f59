// Cost of showing one frame on a terminal: composing the update and writing
// it (to /dev/null, so the terminal's own speed stays out). Prints the bytes
// sent per frame beside the CPU time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

#include "platform/present/terminal/terminal_screen.h"

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

// `everyCellChanges`: alternate two frames that differ in every cell; else
// the same frame again, which sends nothing, or with `whole` every cell once
// more (the periodic whole frame). `oneBlack`: black always by one code.
void present(benchmark::State& state, const char* term, bool everyCellChanges, bool whole = false,
             bool oneBlack = false) {
    static const Frames frames;
    TerminalStyle style = loadTerminalStyle(term, true);
    if (oneBlack) style.backgroundTwin.clear();
    TerminalScreen screen(style);
    const int sink = ::open("/dev/null", O_WRONLY);
    std::int64_t now = 0;
    screen.compose(frames.a, now);
    std::size_t bytes = 0;
    bool flip = false;
    for (auto _ : state) {
        flip = everyCellChanges ? !flip : false;
        now += whole ? TerminalScreen::wholeFrameMilliseconds : 1;
        const std::string& update = screen.compose(flip ? frames.b : frames.a, now);
        if (!update.empty() && ::write(sink, update.data(), update.size()) < 0) state.SkipWithError("write failed");
        bytes = update.size();
    }
    ::close(sink);
    state.counters["bytes_per_frame"] = static_cast<double>(bytes);
}

void EveryCellChanges16Colours(benchmark::State& state) { present(state, "xterm-256color", true); }
void NothingChanges16Colours(benchmark::State& state) { present(state, "xterm-256color", false); }
void EveryCellChanges8Colours(benchmark::State& state) { present(state, "xterm", true); }
void EveryCellChanges16ColoursOneBlack(benchmark::State& state) { present(state, "xterm-256color", true, false, true); }
void WholeFrameAgain16Colours(benchmark::State& state) { present(state, "xterm-256color", false, true); }
void WholeFrameAgain8Colours(benchmark::State& state) { present(state, "xterm", false, true); }

}  // namespace

BENCHMARK(EveryCellChanges16Colours);
BENCHMARK(NothingChanges16Colours);
BENCHMARK(EveryCellChanges8Colours);
BENCHMARK(EveryCellChanges16ColoursOneBlack);
BENCHMARK(WholeFrameAgain16Colours);
BENCHMARK(WholeFrameAgain8Colours);
BENCHMARK_MAIN();
