#include "platform/present/terminal/terminal_screen.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/common/cp437.h"

namespace {

// Synchronized output: the terminal shows what lies between these two at once.
constexpr std::string_view beginFrame = "\x1b[?2026h";
constexpr std::string_view endFrame = "\x1b[?2026l";

// Glyphs that show nothing whatever their colour.
bool isBlank(unsigned char glyph) { return glyph == 0 || glyph == 0x20 || glyph == 0xFF; }

}  // namespace

TerminalScreen::TerminalScreen(TerminalStyle style) : style_(std::move(style)) {
    for (int g = 0; g < 256; ++g) {
        std::string& text = glyphText_[static_cast<std::size_t>(g)];
        if (style_.utf8) {
            appendUtf8(text, cp437ToUnicode[g]);
        } else {
            text = cp437ToAscii(static_cast<unsigned char>(g));
        }
    }
    // The largest frame: every cell with a cursor move, a colour change and
    // its longest glyph. Reserved once so that composing never allocates.
    std::size_t colorLength = style_.resetStyle.size() + style_.bold.size() + style_.backgroundTwin.size();
    for (const std::string& s : style_.foreground) colorLength = std::max(colorLength, s.size() + style_.resetStyle.size() + style_.bold.size() + style_.backgroundTwin.size());
    out_.reserve(256 + style_.clearScreen.size() + std::size_t{gridRows} * gridColumns * (colorLength + 16 + 3));
    for (int n = 1; n < gridColumns; ++n) rightBy_[static_cast<std::size_t>(n)] = cursorRight(style_, n);
    setSize(gridRows, gridColumns);
}

void TerminalScreen::setSize(int rows, int columns) {
    if (rows <= 0 || columns <= 0) {
        rows = gridRows;
        columns = gridColumns;
    }
    terminalRows_ = rows;
    terminalColumns_ = columns;
    // A larger terminal shows the grid centred; a smaller one its centre.
    auto place = [](int terminal, int grid, int& first, int& count, int& offset) {
        if (terminal >= grid) {
            first = 0;
            count = grid;
            offset = (terminal - grid) / 2;
        } else {
            first = (grid - terminal) / 2;
            count = terminal;
            offset = 0;
        }
    };
    place(rows, gridRows, firstGridRow_, visibleRows_, topRow_);
    place(columns, gridColumns, firstGridColumn_, visibleColumns_, leftColumn_);
    moveTo_.assign(static_cast<std::size_t>(visibleRows_ * visibleColumns_), std::string());
    for (int r = 0; r < visibleRows_; ++r) {
        for (int c = 0; c < visibleColumns_; ++c) {
            moveTo_[static_cast<std::size_t>(r * visibleColumns_ + c)] =
                cursorMove(style_, topRow_ + r, leftColumn_ + c);
        }
    }
    invalidate();
}

void TerminalScreen::invalidate() {
    redrawWhole_ = true;
    shown_.fill(unknownCell);
}

void TerminalScreen::selectColor(int color) {
    if (style_.colors >= 16) {
        if (currentColor_ != color) appendStyle(style_.foreground[static_cast<std::size_t>(color)]);
        currentColor_ = color;
        return;
    }
    // Eight colours or none: the bright half is the dark colour in bold, and
    // only a full reset takes bold away again.
    const bool bright = color >= 8;
    const int base = style_.colors > 0 ? (color & 7) : 0;
    if (!bright && currentBold_) {
        out_ += style_.resetStyle;
        currentBold_ = false;
        currentColor_ = -1;
        currentBackground_ = 0;
    }
    if (bright && !currentBold_) {
        out_ += style_.bold;
        currentBold_ = true;
    }
    if (style_.colors > 0 && currentColor_ != base) appendStyle(style_.foreground[static_cast<std::size_t>(base)]);
    currentColor_ = base;
}

// Which black a cell of the grid gets: with two codes for black, the first
// row alternates cell by cell (ending on the first code) and every later row
// starts with the second code and goes on with the first, so that in row
// order the code changes at every row and within the first one. A frame sent
// whole swaps the two, so that every cell differs from the last frame for
// tmux too, which passes on only what changed.
void TerminalScreen::selectBackground(int visibleRow, int visibleColumn) {
    if (style_.backgroundTwin.empty()) return;
    const int second = visibleRow == 0 ? (visibleColumn + 1) & 1 : (visibleColumn == 0 ? 1 : 0);
    const int wanted = second ^ blackPhase_;
    if (wanted == currentBackground_) return;
    appendStyle(wanted == 0 ? style_.background : style_.backgroundTwin);
    currentBackground_ = wanted;
}

// Appends a code, joined with a colour code just before it in the same
// cell into one: "ESC[38;5;124m" and "ESC[48;5;16m" go as "ESC[38;5;124;48;5;16m".
void TerminalScreen::appendStyle(std::string_view code) {
    const bool joinable = code.size() > 3 && code.starts_with("\x1b[") && code.ends_with('m') &&
                          out_.size() == styleEnd_ && styleEnd_ > 0 && out_.back() == 'm';
    if (joinable) {
        out_.back() = ';';
        out_ += code.substr(2);
    } else {
        out_ += code;
    }
    styleEnd_ = out_.size();
}

void TerminalScreen::sendAllAgain() {
    shown_.fill(unknownCell);
    if (style_.backgroundTwin.empty()) {
        // Only a cleared screen makes a multiplexer draw unchanged cells again.
        redrawWhole_ = true;
    } else {
        blackPhase_ ^= 1;
    }
}

void TerminalScreen::sendCell(std::uint32_t key, int visibleRow, int visibleColumn) {
    const bool blank = key == blankKey;
    if (!blank) selectColor(static_cast<int>(key & 0xFF));
    selectBackground(visibleRow, visibleColumn);
    out_ += blank ? std::string_view(" ") : std::string_view(glyphText_[static_cast<unsigned char>(key >> 8)]);
}

bool TerminalScreen::resendGap(int visibleRow, int fromColumn, int toColumn, std::size_t moveBytes) {
    // Sends the shown cells again and keeps them if that took fewer bytes
    // than the cursor move; otherwise takes them back, colour state included.
    const std::size_t mark = out_.size(), styleEnd = styleEnd_;
    const int color = currentColor_, background = currentBackground_;
    const bool bold = currentBold_;
    const int gridRow = firstGridRow_ + visibleRow;
    for (int c = fromColumn; c < toColumn; ++c) {
        const std::uint32_t key = shown_[static_cast<std::size_t>(gridRow * gridColumns + firstGridColumn_ + c)];
        if (key == unknownCell || out_.size() - mark >= moveBytes) break;
        sendCell(key, visibleRow, c);
        if (c + 1 == toColumn && out_.size() - mark < moveBytes) return true;
    }
    out_.resize(mark);
    styleEnd_ = styleEnd;
    currentColor_ = color;
    currentBackground_ = background;
    currentBold_ = bold;
    return false;
}

const std::string& TerminalScreen::compose(const CHAR_INFO* cells, std::int64_t nowMilliseconds) {
    out_.clear();
    styleEnd_ = 0;
    // What each visible cell shows: glyph << 8 | colour, one key for all the
    // blank ones (black on black and blank glyphs all look the same).
    for (int r = 0; r < visibleRows_; ++r) {
        for (int c = 0; c < visibleColumns_; ++c) {
            const int index = (firstGridRow_ + r) * gridColumns + firstGridColumn_ + c;
            const CHAR_INFO& cell = cells[index];
            const auto glyph = static_cast<unsigned char>(cell.Char.UnicodeChar & 0xFF);
            const int color = terminalColorForAttribute(cell.Attributes & 15);
            const std::uint32_t key = isBlank(glyph) || color == 0
                                          ? blankKey
                                          : (std::uint32_t{glyph} << 8) | static_cast<std::uint32_t>(color);
            wanted_[static_cast<std::size_t>(index)] = key;
        }
    }

    // Send every cell at a new scene and when the last whole frame is old:
    // either wipes what the terminal shows beyond the cells themselves, such
    // as the antialiased edge of a block that has gone.
    const bool whole = redrawWhole_ || wholeRequested_ ||
                       (nowMilliseconds >= 0 && lastWholeMilliseconds_ >= 0 &&
                        nowMilliseconds - lastWholeMilliseconds_ >= wholeFrameMilliseconds);
    wholeRequested_ = false;
    if (whole) {
        if (!redrawWhole_) sendAllAgain();
        ++wholeFrames_;
        lastWholeMilliseconds_ = nowMilliseconds;
    }

    bool started = false;
    auto start = [&] {
        out_ += beginFrame;
        out_ += style_.resetStyle;
        currentColor_ = -1;
        currentBold_ = false;
        currentBackground_ = 0;
        started = true;
    };
    if (redrawWhole_) {
        start();
        out_ += style_.clearScreen;
        redrawWhole_ = false;
    }

    int cursorRow = -1, cursorColumn = -1;
    for (int r = 0; r < visibleRows_; ++r) {
        const int gridRow = firstGridRow_ + r;
        for (int c = 0; c < visibleColumns_; ++c) {
            const int index = gridRow * gridColumns + firstGridColumn_ + c;
            const std::uint32_t key = wanted_[static_cast<std::size_t>(index)];
            std::uint32_t& shown = shown_[static_cast<std::size_t>(index)];
            if (shown == key) continue;
            shown = key;

            if (!started) start();
            if (cursorRow != r || cursorColumn != c) {
                const std::string* move = &moveTo_[static_cast<std::size_t>(r * visibleColumns_ + c)];
                const bool sameRow = cursorRow == r && cursorColumn < c;
                if (sameRow) {
                    const std::string& right = rightBy_[static_cast<std::size_t>(c - cursorColumn)];
                    if (!right.empty() && right.size() < move->size()) move = &right;
                }
                // A short run of unchanged cells on the same row is often
                // cheaper to send again than to jump over.
                if (!sameRow || c - cursorColumn > maxGapResent || !resendGap(r, cursorColumn, c, move->size())) {
                    out_ += *move;
                }
            }
            sendCell(key, r, c);
            cursorRow = r;
            cursorColumn = c + 1;
            // At the terminal's last column the cursor waits to wrap: move anew.
            if (leftColumn_ + cursorColumn >= terminalColumns_) cursorRow = -1;
        }
    }
    if (started) out_ += endFrame;
    return out_;
}
