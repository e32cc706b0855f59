// terminal-bytes: the bytes the whole song's frames cost on a terminal, drawn
// offline at a fixed frame rate (every frame shown, no pacing or load in the
// way), for each kind of colour codes. Prints one line per kind: bytes per
// second and per frame.
//
//   terminal-bytes [SONG] [FPS]      (default: QUILLOW3.oxm in the build folder, 60)
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/whole_song.h"
#include "platform/present/terminal/terminal_screen.h"

namespace {

// Keeps every frame's scene and cells.
struct Keeper final : RecordSink {
    struct Frame {
        std::int32_t scene;
        std::array<CHAR_INFO, 80 * 50> cells;
    };
    void picture(std::int64_t, const FrameState& state, const CHAR_INFO* cells) override {
        frames.emplace_back();
        frames.back().scene = sceneForOrder(state.order);
        std::copy(cells, cells + 80 * 50, frames.back().cells.begin());
    }
    void sound(const float*, std::size_t) override {}
    bool keepGoing(std::int64_t) override { return true; }
    std::vector<Frame> frames;
};

}  // namespace

int main(int argc, char** argv) {
    struct Kind {
        const char* name;
        const char* term;
        const char* colorTerm;
        ConsolePalette palette;
    };
    const Kind kinds[] = {
        {"tmux-256color, --palette terminal", "tmux-256color", "", ConsolePalette::terminal},
        {"tmux-256color, VGA as the nearest of 256", "tmux-256color", "", ConsolePalette::vga},
        {"tmux-256color, VGA as RGB (COLORTERM=truecolor)", "tmux-256color", "truecolor", ConsolePalette::vga},
        {"xterm-256color, VGA as RGB (COLORTERM=truecolor)", "xterm-256color", "truecolor", ConsolePalette::vga},
        {"xterm-256color, VGA as the nearest of 256", "xterm-256color", "", ConsolePalette::vga},
        {"xterm-256color, --palette terminal", "xterm-256color", "", ConsolePalette::terminal},
    };
    Keeper kept;
    const int fps = recordWholeSong(argc, argv, "terminal-bytes", kept);
    if (fps == 0 || kept.frames.empty()) return 1;
    for (const Kind& kind : kinds) {
        ::setenv("COLORTERM", kind.colorTerm, 1);
        ::unsetenv("TMUX");
        TerminalScreen screen(loadTerminalStyle(kind.term, true, kind.palette));
        double bytes = 0;
        std::int32_t lastScene = -1;
        for (std::size_t k = 0; k < kept.frames.size(); ++k) {
            // The live loop sends a scene's first frame whole.
            if (kept.frames[k].scene != lastScene) screen.sendWholeNext();
            lastScene = kept.frames[k].scene;
            bytes += double(screen.compose(kept.frames[k].cells.data(), std::int64_t(k) * 1000 / fps).size());
        }
        const double frames = double(kept.frames.size());
        std::printf("%-50s %7.1f KB/s  %6.0f bytes a frame  (%.0f frames)\n", kind.name,
                    bytes * fps / frames / 1000.0, bytes / frames, frames);
    }
    return 0;
}
