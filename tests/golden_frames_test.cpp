// The golden frames of tests/golden/ (see the README there): the cells of
// chosen frame states, drawn by the frame tool of each build, natively, the
// Windows one under Wine and the web one under node, must equal the stored
// cells. With COMPOFILLER_UPDATE_GOLDEN=1 the native case rewrites the stored
// cells instead (cmake --build build-release --target update-golden-frames). The
// program draws them too, one after another in one process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/frame_state.h"
#include "host/screen.h"
#include "platform/common/cp437.h"
#include "tests/support/ci_skip.h"
#include "tests/support/pulse_server.h"
#include "tests/support/wine_prefix.h"
#include "tests/support/xm_test_modules.h"

namespace {

const std::string goldenFolder = COMPOFILLER_SOURCE_DIR "/tests/golden";

// A cell's glyph byte and attribute.
struct Cell {
    unsigned glyph = 0;
    unsigned colour = 0;
    bool operator==(const Cell&) const = default;
};
using Cells = std::vector<Cell>;  // 4000, row-major

// A stored frame: why it was chosen, the frame tool's arguments that draw it,
// its cells.
struct Golden {
    std::string path;
    std::string why;
    std::string args;
    Cells cells;
};

// The character a glyph byte is stored as: its code page 437 picture, but
// byte 32, which the demo never draws, as U+2420, so that a space stands for
// byte 0 alone (the blank of the captions' outline and the flat effects).
char32_t storedCharacter(unsigned glyph) { return glyph == 32 ? U'\x2420' : cp437ToUnicode[glyph & 0xFF]; }

// Reads one UTF-8 character from `text` at `at`; 0xFFFFFFFF when malformed.
char32_t nextCharacter(const std::string& text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned first = byte(at);
    const int length = first < 0x80 ? 1 : first >> 5 == 6 ? 2 : first >> 4 == 14 ? 3 : 0;
    if (length == 0 || at + length > text.size()) return 0xFFFFFFFF;
    char32_t c = length == 1 ? first : first & (length == 2 ? 0x1F : 0x0F);
    for (int i = 1; i < length; ++i) c = c << 6 | (byte(at + i) & 0x3F);
    at += length;
    return c;
}

std::string rowsOf(const Cells& cells) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (int r = 0; r < 50; ++r) {
        for (int c = 0; c < 80; ++c) appendUtf8(out, storedCharacter(cells[r * 80 + c].glyph));
        out += ' ';
        for (int c = 0; c < 80; ++c) out += hex[cells[r * 80 + c].colour & 15];
        out += '\n';
    }
    return out;
}

// Reads a stored frame; a failure names the line.
bool readGolden(const std::string& path, Golden& g, std::string& why) {
    std::map<char32_t, unsigned> glyphOf;
    for (unsigned b = 0; b < 256; ++b) glyphOf[storedCharacter(b)] = b;
    std::ifstream in(path);
    std::string line;
    g.path = path;
    if (!std::getline(in, line) || line.rfind("why: ", 0) != 0) return why = "no \"why: \" line first", false;
    g.why = line.substr(5);
    if (!std::getline(in, line) || line.rfind("args: ", 0) != 0) return why = "no \"args: \" line second", false;
    g.args = line.substr(6);
    g.cells.clear();
    for (int r = 0; r < 50 && std::getline(in, line); ++r) {
        std::size_t at = 0;
        for (int c = 0; c < 80; ++c) {
            const auto found = at < line.size() ? glyphOf.find(nextCharacter(line, at)) : glyphOf.end();
            if (found == glyphOf.end()) return why = "row " + std::to_string(r) + ": a glyph not of code page 437", false;
            g.cells.push_back({found->second, 0});
        }
        const std::string colours = at < line.size() ? line.substr(at + 1) : "";
        if (colours.size() != 80 || colours.find_first_not_of("0123456789abcdef") != std::string::npos)
            return why = "row " + std::to_string(r) + ": not 80 colour digits", false;
        for (int c = 0; c < 80; ++c) g.cells[r * 80 + c].colour = unsigned(std::stoul(colours.substr(c, 1), nullptr, 16));
    }
    if (g.cells.size() != 4000) return why = "fewer than 50 rows", false;
    return true;
}

std::vector<std::string> goldenPaths() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(goldenFolder))
        if (entry.path().extension() == ".frame") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The frame tool's cells format: 4000 tokens of 4 hex digits, glyph byte then
// attribute.
bool parseToolCells(const std::string& out, Cells& cells) {
    std::istringstream in(out);
    cells.clear();
    for (std::string token; in >> token;) {
        if (token.size() != 4 || token.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
        const unsigned value = unsigned(std::stoul(token, nullptr, 16));
        cells.push_back({value >> 8, value & 0xFF});
    }
    return cells.size() == 4000;
}

// The cells that differ, at most `shown` of them listed, or "".
std::string differences(const Cells& expected, const Cells& actual) {
    constexpr int shown = 12;
    std::string out;
    int count = 0;
    for (int i = 0; i < 4000; ++i) {
        if (expected[i] == actual[i]) continue;
        if (++count > shown) continue;
        std::string e, a;
        appendUtf8(e, storedCharacter(expected[i].glyph));
        appendUtf8(a, storedCharacter(actual[i].glyph));
        out += "  row " + std::to_string(i / 80) + ", col " + std::to_string(i % 80) + ": expected glyph " +
               std::to_string(expected[i].glyph) + " '" + e + "' colour " + std::to_string(expected[i].colour) +
               ", got glyph " + std::to_string(actual[i].glyph) + " '" + a + "' colour " +
               std::to_string(actual[i].colour) + "\n";
    }
    if (count > shown) out += "  ... and " + std::to_string(count - shown) + " more\n";
    if (count > 0) out = std::to_string(count) + " cells differ:\n" + out;
    return out;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// Draws every stored frame with `command` (the tool's program and what runs
// it) and compares; with `update`, rewrites the stored cells that differ.
void checkGoldenFrames(const std::vector<std::string>& command, const std::vector<std::string>& environment,
                       bool update = false) {
    const std::vector<std::string> paths = goldenPaths();
    ASSERT_GE(paths.size(), 20u) << "the stored frames are missing from " << goldenFolder;
    for (const std::string& path : paths) {
        Golden g;
        std::string why;
        const bool read = readGolden(path, g, why);
        if (!read && !update) {
            ADD_FAILURE() << path << ": " << why;
            continue;
        }
        std::vector<std::string> args = command;
        for (const std::string& w : words(g.args)) args.push_back(w);
        const pulsetest::RunResult run = pulsetest::runProgram(args, environment, 120);
        Cells cells;
        if (run.status != 0 || !parseToolCells(run.out, cells)) {
            const std::size_t tail = run.err.size() > 600 ? run.err.size() - 600 : 0;
            ADD_FAILURE() << path << ": the frame tool failed (status " << run.status << "): " << run.err.substr(tail);
            continue;
        }
        if (update) {
            if (read && g.cells == cells) continue;
            std::ofstream(path, std::ios::trunc) << "why: " << g.why << "\nargs: " << g.args << "\n" << rowsOf(cells);
            std::printf("rewrote %s\n", path.c_str());
            continue;
        }
        const std::string diff = differences(g.cells, cells);
        EXPECT_TRUE(diff.empty()) << path << " (" << g.args << "), " << diff;
    }
}

// The frame state the frame tool's arguments name, as the tool reads them.
FrameState stateOf(const std::string& args) {
    FrameState s;
    s.farLimit = -1e30f;  // not given
    const std::vector<std::string> w = words(args);
    for (std::size_t i = 0; i < w.size(); ++i) {
        const std::string& o = w[i];
        if (o == "--no-captions") {
            s.captions = false;
            continue;
        }
        const std::string v = i + 1 < w.size() ? w[++i] : "";
        if (o == "--order") s.order = std::stoi(v);
        else if (o == "--time-ms") s.timeMs = std::stof(v);
        else if (o == "--seconds") s.seconds = std::stod(v);
        else if (o == "--pulse-a") s.pulseA = std::stof(v);
        else if (o == "--pulse-b") s.pulseB = std::stof(v);
        else if (o == "--pulse-c") s.pulseC = std::stof(v);
        else if (o == "--beat-count") s.beatCount = std::stoi(v);
        else if (o == "--far-limit") s.farLimit = std::stof(v);
        else if (o == "--order-wobble") s.orderWobble = std::stof(v);
        else ADD_FAILURE() << "unknown option " << o;
    }
    if (s.farLimit == -1e30f) s.farLimit = settledFarLimit(s.order);
    return s;
}

TEST(GoldenFrames, NativeFrameTool) {
    const char* update = std::getenv("COMPOFILLER_UPDATE_GOLDEN");
    checkGoldenFrames({COMPOFILLER_BUILD_DIR "/compofiller-frame"}, {}, update != nullptr && *update == '1');
}

// The same frames drawn one after another in this process, as the frame loop
// draws them: what the marcher and the fields keep from frame to frame must
// follow every change of the state.
TEST(GoldenFrames, DrawnInSequenceByTheProgram) {
    for (const std::string& path : goldenPaths()) {
        Golden g;
        std::string why;
        ASSERT_TRUE(readGolden(path, g, why)) << path << ": " << why;
        drawFrame(stateOf(g.args));
        Cells cells;
        for (const CHAR_INFO& cell : screenCells)
            cells.push_back({static_cast<unsigned char>(cell.Char.AsciiChar), unsigned(cell.Attributes)});
        const std::string diff = differences(g.cells, cells);
        EXPECT_TRUE(diff.empty()) << path << " (" << g.args << "), " << diff;
    }
}

TEST(GoldenFrames, WindowsFrameToolUnderWine) {
    const char* build = std::getenv("COMPOFILLER_WINDOWS_BUILD");
    const std::string tool = std::string(build != nullptr ? build : COMPOFILLER_SOURCE_DIR "/build-windows") +
                             "/compofiller-frame.exe";
    if (const std::string why = winetest::missingWine(); !why.empty()) SKIP_OR_FAIL_ON_CI() << why;
    if (::access(tool.c_str(), R_OK) != 0) SKIP_OR_FAIL_ON_CI() << tool << " is missing (run ./build-windows.sh)";
    const std::string folder = testmodules::makeTempFolder("golden-wine");
    const std::string prefix = folder + "/prefix";
    const std::string why = winetest::makePrefix(prefix);
    if (why.empty()) checkGoldenFrames({winetest::wine, tool}, winetest::environment(prefix));
    winetest::stopServer(prefix);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!why.empty()) SKIP_OR_FAIL_ON_CI() << why;
}

TEST(GoldenFrames, WebFrameToolUnderNode) {
    const char* build = std::getenv("COMPOFILLER_WEB_BUILD");
    const std::string tool =
        std::string(build != nullptr ? build : COMPOFILLER_SOURCE_DIR "/build-web") + "/compofiller-frame.js";
    if (::access("/usr/bin/node", X_OK) != 0) SKIP_OR_FAIL_ON_CI() << "node is missing";
    if (::access(tool.c_str(), R_OK) != 0) SKIP_OR_FAIL_ON_CI() << tool << " is missing (run ./build-web.sh)";
    // Emscripten's loader fetches the WebAssembly with node's fetch unless told not to.
    checkGoldenFrames({"/usr/bin/node", tool}, {"NODE_OPTIONS=--no-experimental-fetch"});
}

}  // namespace
