// compofiller-frame: renders one frame of the demo from a state given on the
// command line, through the demo's own cell loop and caption step, with no
// terminal and no sound. Prints it as cell codes, as coloured terminal text or
// as a PNG picture drawn with a Linux console font.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "host/frame_state.h"
#include "host/screen.h"
#include "host/song_search.h"
#include "tools/frame/frame_output.h"
#include "tools/tool_options.h"

namespace {

constexpr const char* usage =
    "usage: compofiller-frame --order N --time-ms T --seconds S\n"
    "         [--pulse-a A --pulse-b B --pulse-c C --beat-count K]\n"
    "         [--far-limit F --order-wobble W] [--no-captions]\n"
    "         [--format cells|ansi|png] [--out FILE] [--font PSF] [--scale K]\n"
    "       compofiller-frame --help\n"
    "\n"
    "Renders one frame of the demo: sets the song order (the scene follows from\n"
    "it), the clocks (--time-ms is the demo's falling millisecond clock, so\n"
    "negative while it runs; --seconds the seconds since the start), the beat\n"
    "pulses and beat count (0 unless given) and the marcher's far limit (default\n"
    "0 below order 4, where the marcher fades it in from the clock, and 96, the\n"
    "faded-in value, from order 4) and order wobble (default 0), then draws every\n"
    "cell and, unless --no-captions, the captions of that order.\n"
    "\n"
    "Formats: cells (default) prints 50 lines of 80 tokens, each the glyph byte\n"
    "and the attribute as 4 hex digits; ansi prints coloured UTF-8 text; png\n"
    "writes a picture drawn with a console font (default: a VGA 8 x 8 font from\n"
    "/usr/share/consolefonts, else the one shipped with the demo), each font pixel\n"
    "a K x K block with --scale K (1 to 16, default 1), as the demo's window shows\n"
    "it at that scale. --out FILE writes to FILE instead of stdout.\n";

using toolopts::UsageError;

struct Options {
    std::int32_t order = 0;
    float timeMs = 0;
    double seconds = 0;
    float pulseA = 0, pulseB = 0, pulseC = 0;
    std::int32_t beatCount = 0;
    std::optional<float> farLimit;
    float orderWobble = 0;
    bool captions = true;
    FrameFormat format = FrameFormat::cells;
    std::string out;
    std::string font;
    int scale = 1;
    bool help = false;
};

std::int32_t parseInt(std::string_view option, const char* text) {
    return static_cast<std::int32_t>(toolopts::parseWhole(option, text, std::numeric_limits<std::int32_t>::min(),
                                                          std::numeric_limits<std::int32_t>::max()));
}

double parseNumber(std::string_view option, const char* text) {
    const double huge = std::numeric_limits<double>::max();
    return toolopts::parseNumber(option, text, -huge, huge, "a finite number");
}

float parseFloat(std::string_view option, const char* text) {
    const double v = parseNumber(option, text);
    if (std::fabs(v) > std::numeric_limits<float>::max())
        throw UsageError(std::string(option) + " is out of the single-precision range: \"" + text + "\"");
    return static_cast<float>(v);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    bool haveOrder = false, haveTime = false, haveSeconds = false;
    for (const Argument& a : readArguments(argc, argv,
                                           {{"--order", true}, {"--time-ms", true}, {"--seconds", true},
                                            {"--pulse-a", true}, {"--pulse-b", true}, {"--pulse-c", true},
                                            {"--beat-count", true}, {"--far-limit", true}, {"--order-wobble", true},
                                            {"--format", true}, {"--out", true}, {"--font", true}, {"--scale", true},
                                            {"--no-captions", false}, {"--help", false}},
                                           '"')) {
        const std::string_view arg = a.name;
        const char* value = a.value.c_str();
        if (a.option == Argument::bad) throw UsageError(a.value);
        if (a.option == Argument::operand) throw UsageError("unknown option \"" + a.value + "\"");
        if (arg == "--help") {
            o.help = true;
            return o;
        }
        if (arg == "--no-captions") o.captions = false;
        else if (arg == "--order") o.order = parseInt(arg, value), haveOrder = true;
        else if (arg == "--time-ms") o.timeMs = parseFloat(arg, value), haveTime = true;
        else if (arg == "--seconds") o.seconds = parseNumber(arg, value), haveSeconds = true;
        else if (arg == "--pulse-a") o.pulseA = parseFloat(arg, value);
        else if (arg == "--pulse-b") o.pulseB = parseFloat(arg, value);
        else if (arg == "--pulse-c") o.pulseC = parseFloat(arg, value);
        else if (arg == "--beat-count") o.beatCount = parseInt(arg, value);
        else if (arg == "--far-limit") o.farLimit = parseFloat(arg, value);
        else if (arg == "--order-wobble") o.orderWobble = parseFloat(arg, value);
        else if (arg == "--out") o.out = value;
        else if (arg == "--font") o.font = value;
        else if (arg == "--scale") o.scale = static_cast<int>(toolopts::parseWhole(arg, value, 1, 16));
        else if (arg == "--format") {
            const std::string_view f = value;
            if (f == "cells") o.format = FrameFormat::cells;
#ifdef COMPOFILLER_FRAME_CELLS_ONLY
            else if (f == "ansi" || f == "png") throw UsageError("this build prints --format cells only");
#else
            else if (f == "ansi") o.format = FrameFormat::ansi;
            else if (f == "png") o.format = FrameFormat::png;
#endif
            else throw UsageError("--format must be cells, ansi or png, got \"" + std::string(f) + "\"");
        }
        if (o.out.empty() && arg == "--out") throw UsageError("--out needs a file name");
    }
    if (!haveOrder) throw UsageError("--order is required");
    if (!haveTime) throw UsageError("--time-ms is required");
    if (!haveSeconds) throw UsageError("--seconds is required");
    return o;
}

// Draws the frame of the state the options name, as the frame loop draws it.
void renderFrame(const Options& o) {
    FrameState state;
    state.order = o.order;
    state.timeMs = o.timeMs;
    state.seconds = o.seconds;
    state.pulseA = o.pulseA;
    state.pulseB = o.pulseB;
    state.pulseC = o.pulseC;
    state.beatCount = o.beatCount;
    state.farLimit = o.farLimit ? *o.farLimit : settledFarLimit(o.order);
    state.orderWobble = o.orderWobble;
    state.captions = o.captions;
    drawFrame(state);
}

// Reads the options and writes the frame; failures are thrown.
int run(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (options.help) {
        std::fputs(usage, stdout);
        return 0;
    }

    // The font is read before drawing, so a bad one fails fast.
    std::optional<PsfFont> font;
#ifdef COMPOFILLER_FRAME_CELLS_ONLY
    if (!options.font.empty() || options.scale != 1) throw UsageError("--font and --scale apply to --format png only");
#else
    if (options.format == FrameFormat::png) {
        const std::string path = options.font.empty() ? findConsoleFont(executableFolder()) : options.font;
        if (path.empty())
            throw std::runtime_error("no console font in /usr/share/consolefonts (install console-setup-linux)");
        font = PsfFont::load(path);
    } else if (!options.font.empty() || options.scale != 1) {
        throw UsageError("--font and --scale apply to --format png only");
    }
#endif

    renderFrame(options);

    std::string bytes;
    switch (options.format) {
        case FrameFormat::cells: bytes = formatCells(screenCells); break;
#ifdef COMPOFILLER_FRAME_CELLS_ONLY
        default: bytes = formatCells(screenCells); break;
#else
        case FrameFormat::ansi: bytes = formatAnsi(screenCells); break;
        case FrameFormat::png: bytes = formatPng(screenCells, *font, options.scale); break;
#endif
    }
    if (options.out.empty()) {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        if (!std::cout) throw std::runtime_error("cannot write to standard output");
    } else {
        std::ofstream file(options.out, std::ios::binary | std::ios::trunc);
        if (!file) throw std::runtime_error("cannot create " + options.out + ": " + std::strerror(errno));
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) throw std::runtime_error("cannot write " + options.out);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Lines end in \n alone, as on Linux, so the two systems' cells compare byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    return toolopts::runTool("compofiller-frame", [&] { return run(argc, argv); });
}
