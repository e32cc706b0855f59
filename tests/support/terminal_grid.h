#pragma once
// A small terminal for tests: takes the bytes a program sends to its terminal
// (or a tmux capture with colours) and keeps what they leave on the screen:
// characters, colours, modes and title. Anything it does not know is counted,
// so a test can tell that no byte was taken as an unexpected control.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testterm {

// A colour given as RGB (0xRRGGBB), as a Cell keeps it.
constexpr int rgbColour(int rgb) { return 0x1000000 | rgb; }

struct Cell {
    char32_t ch = U' ';
    int foreground = -1;  // -1 default, 0 to 255, or rgbColour(...)
    int background = -1;
    bool bold = false;
};

class TerminalGrid {
public:
    TerminalGrid(int rows, int columns);

    void feed(std::string_view bytes);

    int rows() const { return rows_; }
    int columns() const { return columns_; }
    const Cell& at(int row, int column) const { return cells_[static_cast<std::size_t>(row * columns_ + column)]; }
    // The characters of one row as UTF-8.
    std::string rowText(int row) const;

    bool alternateScreen = false;
    bool cursorVisible = true;
    std::string title;
    int bells = 0;
    int otherControls = 0;     // C0 bytes other than BEL, BS, CR, LF, SI, SO, CAN
    int lineFeeds = 0;
    int clears = 0;
    int syncBegins = 0;
    int syncEnds = 0;
    int sizeRequests = 0;
    std::vector<std::string> unknownSequences;

private:
    void put(char32_t c);
    void controlSequence(std::string_view params, char final);
    void selectGraphics(std::string_view params);

    int rows_, columns_;
    std::vector<Cell> cells_;
    int cursorRow_ = 0, cursorColumn_ = 0;
    bool wrapPending_ = false;
    Cell pen_;
    // Parser state.
    enum class State { ground, escape, csi, osc, oscEscape, charset } state_ = State::ground;
    std::string sequence_;
    std::uint32_t utf8Value_ = 0;
    int utf8Remaining_ = 0;
};

}  // namespace testterm
