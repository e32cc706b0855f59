#include "tests/support/terminal_grid.h"

#include <vterm.h>

namespace testterm {

namespace {

using Unexpected = std::vector<std::string>;

void note(void* user, std::string what) { static_cast<Unexpected*>(user)->push_back(std::move(what)); }

int bell(void* user) {
    note(user, "BEL");
    return 1;
}

int control(unsigned char byte, void* user) {
    note(user, "control " + std::to_string(byte));
    return 1;
}

int controlSequence(const char* leader, const long args[], int count, const char* intermediates, char final,
                    void* user) {
    std::string text = "CSI ";
    if (leader != nullptr) text += leader;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += ';';
        if (!CSI_ARG_IS_MISSING(args[i])) text += std::to_string(CSI_ARG(args[i]));
    }
    if (intermediates != nullptr) text += intermediates;
    note(user, text + final);
    return 1;
}

int stringSequence(const char* command, std::size_t length, void* user) {
    note(user, "OSC/DCS " + std::string(command, length));
    return 1;
}

const VTermScreenCallbacks screenCallbacks = [] {
    VTermScreenCallbacks c{};
    c.bell = bell;
    return c;
}();
const VTermParserCallbacks fallbacks = [] {
    VTermParserCallbacks c{};
    c.control = control;
    c.csi = controlSequence;
    c.osc = c.dcs = stringSequence;
    return c;
}();

int colour(const VTermColor& c, bool isDefault) {
    if (isDefault) return -1;
    if (VTERM_COLOR_IS_INDEXED(&c)) return c.indexed.idx;
    return rgbColour(c.rgb.red << 16 | c.rgb.green << 8 | c.rgb.blue);
}

}  // namespace

TerminalGrid::TerminalGrid(int rows, int columns)
    : rows_(rows), columns_(columns), vterm_(vterm_new(rows, columns), vterm_free),
      unexpected_(std::make_unique<Unexpected>()) {
    vterm_set_utf8(vterm_.get(), 1);
    VTermScreen* screen = vterm_obtain_screen(vterm_.get());
    vterm_screen_enable_altscreen(screen, 1);
    vterm_screen_set_callbacks(screen, &screenCallbacks, unexpected_.get());
    vterm_screen_set_unrecognised_fallbacks(screen, &fallbacks, unexpected_.get());
    vterm_screen_reset(screen, 1);
}

TerminalGrid::~TerminalGrid() = default;
TerminalGrid::TerminalGrid(TerminalGrid&&) noexcept = default;

void TerminalGrid::feed(std::string_view bytes) { vterm_input_write(vterm_.get(), bytes.data(), bytes.size()); }

Cell TerminalGrid::at(int row, int column) const {
    VTermScreenCell cell;
    vterm_screen_get_cell(vterm_obtain_screen(vterm_.get()), VTermPos{row, column}, &cell);
    return Cell{cell.chars[0] == 0 ? U' ' : char32_t(cell.chars[0]), colour(cell.fg, VTERM_COLOR_IS_DEFAULT_FG(&cell.fg)),
                colour(cell.bg, VTERM_COLOR_IS_DEFAULT_BG(&cell.bg)), cell.attrs.bold != 0};
}

TerminalGrid shownLines(std::string_view lines, int rows, int columns) {
    TerminalGrid term(rows, columns);
    // No line feed after the last line, which would scroll the top row away.
    if (lines.ends_with('\n')) lines.remove_suffix(1);
    for (const char& c : lines) {
        if (c == '\n') term.feed("\r");
        term.feed(std::string_view(&c, 1));
    }
    return term;
}

}  // namespace testterm
