#pragma once
// A terminal for tests, on libvterm: takes the bytes a program sends to its
// terminal (or a tmux capture with colours) and shows the cells they leave:
// character, colour and boldness. What it takes as no picture nor known
// sequence (a bell, an unhandled control, an unknown sequence) it keeps as
// text, so a test can tell that the terminal understood every byte.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct VTerm;

namespace testterm {

// A colour given as RGB (0xRRGGBB), as a Cell shows it.
constexpr int rgbColour(int rgb) { return 0x1000000 | rgb; }

struct Cell {
    char32_t ch = U' ';
    int foreground = -1;  // -1 the terminal's default, 0 to 255 its palette, or rgbColour(...)
    int background = -1;
    bool bold = false;
};

class TerminalGrid {
public:
    TerminalGrid(int rows, int columns);
    ~TerminalGrid();
    TerminalGrid(TerminalGrid&&) noexcept;

    void feed(std::string_view bytes);

    int rows() const { return rows_; }
    int columns() const { return columns_; }
    Cell at(int row, int column) const;
    // Bells, unhandled controls and unknown sequences, in order.
    const std::vector<std::string>& unexpected() const { return *unexpected_; }

private:
    int rows_, columns_;
    std::unique_ptr<VTerm, void (*)(VTerm*)> vterm_;
    // Apart, so that libvterm's callbacks keep their address when the grid moves.
    std::unique_ptr<std::vector<std::string>> unexpected_;
};

// Lines of text with their escape sequences, each ending in a line feed, as a
// terminal shows them from its top-left corner, each from the first column:
// a tmux pane's `capture-pane -p -e -N`, the frame tool's ANSI picture.
TerminalGrid shownLines(std::string_view lines, int rows, int columns);

}  // namespace testterm
