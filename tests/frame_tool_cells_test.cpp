// The frame tool's other formats and its option errors; its cells are those
// of the golden frames (golden_frames_test.cpp).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/common/cp437.h"
#include "platform/present/terminal/terminal_screen.h"
#include "tests/support/terminal_grid.h"

namespace {

const std::string tool = COMPOFILLER_BUILD_DIR "/compofiller-frame";

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun runTool(const std::string& arguments) {
    // One file per test process: ctest runs this program's tests side by side.
    const std::string errFile = testing::TempDir() + "frame_tool_err_" + std::to_string(::getpid()) + ".txt";
    const std::string command = tool + " " + arguments + " 2>" + errFile;
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun run{-1, {}, {}};
    if (pipe == nullptr) return run;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    return run;
}

std::vector<std::vector<std::string>> tokens(const std::string& text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string w; words >> w;) row.push_back(w);
        lines.push_back(row);
    }
    return lines;
}

TEST(FrameTool, AnsiAndPngFormats) {
    // The ANSI picture, on a terminal, shows every cell of the frame in its
    // colour on black, each row on its own line.
    const ToolRun ansi = runTool("--order 9 --time-ms -60000 --seconds 60 --format ansi");
    const ToolRun cells = runTool("--order 9 --time-ms -60000 --seconds 60");
    ASSERT_EQ(ansi.status, 0) << ansi.err;
    EXPECT_EQ(std::count(ansi.out.begin(), ansi.out.end(), '\n'), 50);
    const testterm::TerminalGrid term = testterm::shownLines(ansi.out, 50, 80);
    EXPECT_TRUE(term.unexpected().empty()) << term.unexpected().front();
    const auto expected = tokens(cells.out);
    for (int r = 0; r < 50; ++r) {
        for (int c = 0; c < 80; ++c) {
            const int cell = std::stoi(expected[r][c], nullptr, 16);
            const int color = terminalColorForAttribute(static_cast<WORD>(cell & 15));
            const testterm::Cell shown = term.at(r, c);
            ASSERT_EQ(shown.ch, color == 0 ? U' ' : cp437ToUnicode[cell >> 8]) << r << "," << c;
            if (color != 0) {
                ASSERT_EQ(shown.foreground, color) << r << "," << c;
            }
            ASSERT_EQ(shown.background, 0) << r << "," << c;
        }
    }

    const std::string file = testing::TempDir() + "frame_tool_test_" + std::to_string(::getpid()) + ".png";
    const ToolRun png = runTool("--order 9 --time-ms -60000 --seconds 60 --format png --out " + file);
    ASSERT_EQ(png.status, 0) << png.err;
    std::ifstream picture(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(picture)), {});
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
    auto be32 = [&](std::size_t at) {
        return (unsigned char)bytes[at] << 24 | (unsigned char)bytes[at + 1] << 16 | (unsigned char)bytes[at + 2] << 8 |
               (unsigned char)bytes[at + 3];
    };
    EXPECT_EQ(be32(16) % 80, 0u);  // width: 80 cells of the font's width
    EXPECT_EQ(be32(20) % 50, 0u);  // height: 50 cells
    std::remove(file.c_str());
}

TEST(FrameTool, BadOptionsExitWithStatus2AndOneLine) {
    const char* bad[] = {
        "--order 9 --time-ms -1",                       // --seconds missing
        "--order nine --time-ms -1 --seconds 1",        // not a number
        "--order 9 --time-ms -1 --seconds 1 --colour",  // unknown option
        "--order 9 --time-ms -1 --seconds inf",         // not finite
        "--order 9 --time-ms 1e40 --seconds 1",         // beyond a float
        "--order 9 --time-ms -1 --seconds 1 --format gif",
        "--order 9 --time-ms -1 --seconds 1 --pulse-a",  // value missing
        "--order 4294967296 --time-ms -1 --seconds 1",
        "--ord 9 --time-ms -1 --seconds 1",  // a name cut short
    };
    for (const char* arguments : bad) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_TRUE(run.out.empty()) << arguments;
        ASSERT_FALSE(run.err.empty()) << arguments;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << arguments << ": " << run.err;
    }
}

}  // namespace
