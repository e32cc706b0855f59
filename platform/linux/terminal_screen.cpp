#include "platform/linux/terminal_screen.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string_view>
#include <utility>

#include "platform/common/cp437.h"

// term.h names each terminfo capability with a macro; the two that clash
// with ordinary words here are taken away again.
#include <term.h>
#undef columns
#undef lines

namespace {

// Synchronized output: the terminal shows what lies between these two at once.
constexpr std::string_view beginFrame = "\x1b[?2026h";
constexpr std::string_view endFrame = "\x1b[?2026l";

// xterm's sequences, for entries that lack a string or for an unknown terminal.
constexpr const char* xtermCursorAddress = "\x1b[%i%p1%d;%p2%dH";
constexpr const char* xtermForeground = "\x1b[3%p1%dm";
constexpr const char* xtermBackground = "\x1b[4%p1%dm";
constexpr const char* xtermReset = "\x1b[m";
constexpr const char* xtermBold = "\x1b[1m";
constexpr const char* xtermEnterAlternate = "\x1b[?1049h";
constexpr const char* xtermLeaveAlternate = "\x1b[?1049l";
constexpr const char* xtermHideCursor = "\x1b[?25l";
constexpr const char* xtermShowCursor = "\x1b[?25h";
constexpr const char* xtermClear = "\x1b[H\x1b[2J";

// A string capability of the current terminfo entry, or `fallback`.
std::string capability(bool haveEntry, const char* name, const char* fallback) {
    if (haveEntry) {
        char* value = tigetstr(name);
        if (value != nullptr && value != reinterpret_cast<char*>(-1)) return value;
    }
    return fallback;
}

std::string format(const std::string& pattern, long a) { return tiparm(pattern.c_str(), a); }
std::string format(const std::string& pattern, long a, long b) { return tiparm(pattern.c_str(), a, b); }


// Rows of 16 look-alikes for the codes outside printable ASCII.
constexpr const char* asciiLow[2] = {" oov+**o#O@mfdd*", "><|!PS_|^v><L-^v"};
constexpr const char* asciiHigh[8] = {
    "CueaaaaceeeiiiAA",  // 80
    "EaAooouuyOUcLYPf",  // 90
    "aiounNao?--//!<>",  // a0
    ".:%|++++++|+++++",  // b0
    "++++-++++++++=++",  // c0
    "+++++++++++#,[]^",  // d0
    "aBGnEoutOOOd8oen",  // e0
    "=+><()/~o..vn2# ",  // f0
};

// Glyphs that show nothing whatever their colour.
bool isBlank(unsigned char glyph) { return glyph == 0 || glyph == 0x20 || glyph == 0xFF; }

}  // namespace

std::string cursorMove(const TerminalStyle& style, int row, int column) {
    return format(style.cursorAddress, row, column);
}

char cp437ToAscii(unsigned char glyph) {
    if (glyph < 0x20) return asciiLow[glyph >> 4][glyph & 15];
    if (glyph < 0x7F) return static_cast<char>(glyph);
    if (glyph == 0x7F) return '^';
    return asciiHigh[(glyph - 0x80) >> 4][glyph & 15];
}

int terminalColorForAttribute(WORD attributes) {
    const int blue = attributes & 1, green = (attributes >> 1) & 1, red = (attributes >> 2) & 1;
    const int bright = (attributes >> 3) & 1;
    return red | (green << 1) | (blue << 2) | (bright << 3);
}

bool localeIsUtf8() {
    // Ask the user's locale without leaving it set: the program's own text
    // handling stays in the "C" locale.
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = current != nullptr ? current : "C";
    bool utf8 = false;
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
        const char* codeset = nl_langinfo(CODESET);
        utf8 = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    return utf8;
}

std::uint32_t vgaColour(int terminalColour) {
    // Dark colours at two thirds, bright ones with a third added to every
    // channel; dark yellow is the VGA's brown, its green halved.
    static constexpr std::uint32_t colours[16] = {0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA,
                                                  0x00AAAA, 0xAAAAAA, 0x555555, 0xFF5555, 0x55FF55, 0xFFFF55,
                                                  0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF};
    return colours[terminalColour & 15];
}

std::uint32_t colour256(int index) {
    if (index >= 232) {
        const std::uint32_t grey = 8 + 10 * static_cast<std::uint32_t>(index - 232);
        return grey * 0x010101u;
    }
    static constexpr std::uint32_t levels[6] = {0, 95, 135, 175, 215, 255};
    const int i = index - 16;
    return levels[i / 36] << 16 | levels[i / 6 % 6] << 8 | levels[i % 6];
}

int nearestColour256(std::uint32_t rgb) {
    int best = 16;
    long bestDistance = -1;
    for (int index = 16; index < 256; ++index) {
        const std::uint32_t c = colour256(index);
        long distance = 0;
        for (int shift : {16, 8, 0}) {
            const long d = long((rgb >> shift) & 0xFF) - long((c >> shift) & 0xFF);
            distance += d * d;
        }
        if (bestDistance < 0 || distance < bestDistance) {
            best = index;
            bestDistance = distance;
        }
    }
    return best;
}

namespace {

bool startsWith(const char* text, std::string_view prefix) {
    return text != nullptr && std::string_view(text).substr(0, prefix.size()) == prefix;
}

// Whether the terminal takes colours as RGB: $COLORTERM, or terminfo's RGB
// (a flag, a number or a string) or tmux's Tc.
bool takesDirectColour(bool haveEntry) {
    const char* colorTerm = std::getenv("COLORTERM");
    if (colorTerm != nullptr && (std::strcmp(colorTerm, "truecolor") == 0 || std::strcmp(colorTerm, "24bit") == 0))
        return true;
    if (!haveEntry) return false;
    char* rgbString = tigetstr("RGB");
    return tigetflag("RGB") > 0 || tigetnum("RGB") > 0 || tigetflag("Tc") > 0 ||
           (rgbString != nullptr && rgbString != reinterpret_cast<char*>(-1));
}

std::string rgbCode(int layer, std::uint32_t rgb) {
    return "\x1b[" + std::to_string(layer) + ";2;" + std::to_string(rgb >> 16) + ";" +
           std::to_string((rgb >> 8) & 0xFF) + ";" + std::to_string(rgb & 0xFF) + "m";
}

}  // namespace

TerminalStyle loadTerminalStyle(const char* termName, bool utf8, ConsolePalette palette) {
    TerminalStyle style;
    style.utf8 = utf8;
    int error = 0;
    const bool haveEntry = setupterm(termName, -1, &error) == 0;

    style.cursorAddress = capability(haveEntry, "cup", xtermCursorAddress);
    style.cursorRight = capability(haveEntry, "cuf", "\x1b[%p1%dC");
    const std::string reset = capability(haveEntry, "sgr0", xtermReset);
    style.bold = capability(haveEntry, "bold", xtermBold);
    style.clearScreen = capability(haveEntry, "clear", xtermClear);
    style.enterScreen = capability(haveEntry, "smcup", xtermEnterAlternate) +
                        capability(haveEntry, "civis", xtermHideCursor);
    style.leaveScreen = reset + capability(haveEntry, "cnorm", xtermShowCursor) +
                        capability(haveEntry, "rmcup", xtermLeaveAlternate);

    int colors = haveEntry ? tigetnum("colors") : 8;
    const std::string setForeground = capability(haveEntry, "setaf", haveEntry ? "" : xtermForeground);
    const std::string setBackground = capability(haveEntry, "setab", haveEntry ? "" : xtermBackground);
    if (colors < 8 || setForeground.empty()) colors = 0;
    style.colors = colors >= 16 ? 16 : colors;

    if (palette == ConsolePalette::vga && colors > 0 && !setBackground.empty()) {
        if (takesDirectColour(haveEntry)) {
            style.codes = TerminalStyle::Codes::direct;
        } else if (colors >= 256) {
            style.codes = TerminalStyle::Codes::cube;
        }
    }

    style.resetStyle = reset;
    if (style.codes != TerminalStyle::Codes::palette) {
        // The cube's own black, never the theme's colour 0. Under tmux RGB
        // black is the second code for its redraws (explained below); tmux
        // takes RGB whatever the terminal it draws on.
        style.colors = 16;
        style.background = "\x1b[48;5;16m";
        style.resetStyle += style.background;
        const char* tmux = std::getenv("TMUX");
        const char* term = termName != nullptr ? termName : std::getenv("TERM");
        if ((tmux != nullptr && *tmux != '\0') || startsWith(term, "tmux")) style.backgroundTwin = rgbCode(48, 0);
        for (int c = 0; c < 16; ++c) {
            // The nearest of the 256 where it is the colour itself (white), as
            // that code is shorter.
            const int nearest = nearestColour256(vgaColour(c));
            style.foreground[static_cast<std::size_t>(c)] =
                style.codes == TerminalStyle::Codes::direct && colour256(nearest) != vgaColour(c)
                    ? rgbCode(38, vgaColour(c))
                    : "\x1b[38;5;" + std::to_string(nearest) + "m";
        }
    } else if (style.colors > 0) {
        if (!setBackground.empty()) {
            style.background = format(setBackground, 0);
            style.resetStyle += style.background;
            // A 256-colour terminal also takes black as index 0 of its 256
            // colours: the same colour on screen, but a different one to tmux.
            // tmux sends a redrawn screen without the codes it believes the
            // terminal already has, and after falling behind that belief can
            // be wrong; with the rows' blacks alternating between the two
            // codes, every row of its redraw carries its black.
            const std::string index16 = colors >= 256 ? format(setBackground, 16) : std::string();
            for (const char* tail : {";5;16m", ":5:16m"}) {
                if (index16.ends_with(tail)) {
                    style.backgroundTwin = index16.substr(0, index16.size() - 3) + "0m";
                }
            }
        }
        for (int c = 0; c < 16; ++c) style.foreground[static_cast<std::size_t>(c)] =
            format(setForeground, style.colors >= 16 ? c : (c & 7));
    }
    // Everything needed is copied out; cursor moves are formatted from the
    // copied string, which needs no loaded entry.
    if (haveEntry) del_curterm(cur_term);
    return style;
}

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
    for (int n = 1; n < gridColumns; ++n) rightBy_[static_cast<std::size_t>(n)] = format(style_.cursorRight, n);
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
