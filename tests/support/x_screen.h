#pragma once
// Real terminal emulators for tests: a private X server, processes started
// with extra environment, screenshots of the whole X screen, and the check of
// a screenshot against the 80 x 50 cells that were shown.
#include <chrono>
#include <cstdint>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/console.h"
#include "tests/support/shell.h"

namespace xtest {

bool onPath(const char* tool);
bool exists(const std::string& path);
using shelltest::shellQuote;
// Polls `condition` every 50 ms until it holds or `limit` has passed.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// Starts a program (searched on PATH) with `extraEnv` before the environment.
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {},
            posix_spawn_file_actions_t* actions = nullptr);
// Ends a process started by spawn (stopped ones too) and reaps it.
void stop(pid_t& pid);

// An X server of our own on a display number it picks itself.
class XServer {
public:
    explicit XServer(const char* screen = "800x800x24");
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return (std::uint32_t{rgb[i]} << 16) | (std::uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
    }
};

// A binary PPM file (P6, 8 bits); empty when it is none.
Picture readPicture(const std::string& path);

// The whole X screen (ImageMagick's import), through a file in `folder`.
Picture screenshot(const std::string& display, const std::string& folder);

// The 4000 cells as the frame presenter wrote them.
std::vector<CHAR_INFO> readCells(const std::string& path);

// Where the grid's cells lie in a screenshot.
struct CellBox {
    int left = 0, top = 0, width = 0, height = 0;
};

// How strictly a cell's pixels are judged. `exact`: every pixel is the ink or
// black. `antialiased`: every pixel is a shade of the ink over black, a full
// block is ink throughout, and a blank cell is black.
enum class Rule { exact, antialiased };

// Compares the screen with the cells (those for which `checked` holds), each
// glyph's ink being inkOf(terminal colour 1 to 15); empty when every cell is
// right, else the first few that are not and how many.
std::string differences(const Picture& shot, const std::vector<CHAR_INFO>& cells, const CellBox& box,
                        const std::function<std::uint32_t(int)>& inkOf, Rule rule = Rule::exact,
                        const std::function<bool(int)>& checked = nullptr);

}  // namespace xtest
