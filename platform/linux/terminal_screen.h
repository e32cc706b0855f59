#pragma once
// Turns the 80 x 50 cell grid into the bytes that show it on a text terminal:
// code page 437 pictures as UTF-8 (or ASCII look-alikes), console colours as
// terminal colours on black, only the cells that changed since the last frame,
// the grid centred in a larger terminal or cropped to the centre of a smaller
// one, and each frame wrapped in synchronized output. The whole grid is sent
// again from time to time and whenever most of it changes, which wipes what a
// terminal or a multiplexer in between may have left wrong on the screen.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"

// The byte strings that drive one kind of terminal, read from its terminfo
// entry, with xterm's sequences where the entry has none.
struct TerminalStyle {
    // How colours are named: the terminal's 16 (its theme decides what they
    // look like), the nearest of the 256-colour cube and greys, or exact RGB.
    enum class Codes { palette, cube, direct };
    bool utf8 = true;
    int colors = 8;                   // 0 (none), 8, or 16 and more
    Codes codes = Codes::palette;
    std::string cursorAddress;        // terminfo format of the cursor move (row, column)
    std::string cursorRight;          // terminfo format of a move right by n columns
    std::string resetStyle;           // all attributes off, then black background
    std::string background;           // black background
    std::string backgroundTwin;       // the same black by another code, or empty
                                      // where there is none
    std::string bold;                 // brightens the 8 colours where there are no more
    std::array<std::string, 16> foreground;  // terminal colour 0 to 15 as foreground
    std::string enterScreen;          // alternate screen, cursor hidden
    std::string leaveScreen;          // cursor shown, normal screen
    std::string clearScreen;
};

// Reads the terminfo entry for `termName` (nullptr: $TERM). Where the entry is
// missing or lacks a string, xterm's sequences and 8 colours stand in. With
// the VGA palette, colours are exact RGB where the terminal takes it ($COLORTERM
// truecolor or 24bit, or terminfo's RGB or Tc), else the nearest of the 256
// colours where it has them, else its own 16.
TerminalStyle loadTerminalStyle(const char* termName, bool utf8,
                                ConsolePalette palette = ConsolePalette::terminal);

// The VGA text mode's colour (0xRRGGBB) of a terminal colour 0 to 15.
std::uint32_t vgaColour(int terminalColour);
// The colour (0xRRGGBB) of index 16 to 255 of the 256-colour set: the 6 x 6 x 6
// cube, then 24 greys.
std::uint32_t colour256(int index);
// The index 16 to 255 nearest to an RGB colour.
int nearestColour256(std::uint32_t rgb);

// The bytes that move the cursor to a terminal cell (0-based).
std::string cursorMove(const TerminalStyle& style, int row, int column);

// True when the user's locale (LC_ALL, LC_CTYPE, LANG) encodes text as UTF-8.
bool localeIsUtf8();

// An ASCII character that looks like the code page 437 picture of `glyph`.
char cp437ToAscii(unsigned char glyph);

// The terminal colour (0 black, 1 red, 2 green, 3 yellow, 4 blue, 5 magenta,
// 6 cyan, 7 white, 8 to 15 their bright forms) of a console attribute's
// foreground (bit 0 blue, bit 1 green, bit 2 red, bit 3 intensity).
int terminalColorForAttribute(WORD attributes);

class TerminalScreen {
public:
    static constexpr int gridColumns = 80;
    static constexpr int gridRows = 50;
    // The longest time between two frames sent whole.
    static constexpr std::int64_t wholeFrameMilliseconds = 2000;

    explicit TerminalScreen(TerminalStyle style);

    // The terminal's size in cells. The next frame is drawn whole.
    void setSize(int rows, int columns);
    // Forgets what the terminal shows, so the next frame is drawn whole.
    void invalidate();
    // Sends every cell of the next frame (a new scene), as a periodic whole
    // frame does.
    void sendWholeNext() { wholeRequested_ = true; }

    // The bytes that bring the terminal from the last composed frame to
    // `cells` (gridRows x gridColumns, row-major); empty when nothing changed.
    // Every cell is sent after sendWholeNext, and, given a clock
    // (`nowMilliseconds` >= 0), when the last frame sent whole is
    // wholeFrameMilliseconds old. The returned text stays valid until the
    // next call.
    const std::string& compose(const CHAR_INFO* cells, std::int64_t nowMilliseconds = -1);
    // Frames sent whole since construction, the first included.
    std::uint64_t wholeFrames() const { return wholeFrames_; }

    const TerminalStyle& style() const { return style_; }
    int terminalRows() const { return terminalRows_; }
    int terminalColumns() const { return terminalColumns_; }

private:
    static constexpr std::uint32_t unknownCell = 0xFFFFFFFFu;
    static constexpr std::uint32_t blankKey = 0x20u << 8;

    void selectColor(int color);
    void selectBackground(int visibleRow, int visibleColumn);
    void appendStyle(std::string_view code);
    // Appends one cell's colour, background and glyph at the cursor.
    void sendCell(std::uint32_t key, int visibleRow, int visibleColumn);
    // Sends cells [fromColumn, toColumn) of a row again when that is shorter
    // than a cursor move of moveBytes; false (and nothing sent) otherwise.
    bool resendGap(int visibleRow, int fromColumn, int toColumn, std::size_t moveBytes);
    static constexpr int maxGapResent = 8;
    void sendAllAgain();

    TerminalStyle style_;
    std::array<std::string, 256> glyphText_;
    int terminalRows_ = gridRows;
    int terminalColumns_ = gridColumns;
    // The visible part of the grid and where it lands on the terminal.
    int firstGridRow_ = 0, firstGridColumn_ = 0;
    int visibleRows_ = gridRows, visibleColumns_ = gridColumns;
    int topRow_ = 0, leftColumn_ = 0;
    std::vector<std::string> moveTo_;  // cursor move to each visible cell
    std::array<std::string, gridColumns> rightBy_;  // cursor move right by n columns
    bool redrawWhole_ = true;
    bool wholeRequested_ = false;
    std::array<std::uint32_t, gridRows * gridColumns> shown_{};
    std::array<std::uint32_t, gridRows * gridColumns> wanted_{};  // this frame's, while composing
    std::string out_;
    // Colour state while composing.
    int currentColor_ = -1;
    bool currentBold_ = false;
    int currentBackground_ = 0;  // 0: `background`, 1: `backgroundTwin`
    std::size_t styleEnd_ = 0;   // where the last colour code appended ends
    // Which of the two blacks each row uses; flipped at every frame sent whole.
    int blackPhase_ = 0;
    std::int64_t lastWholeMilliseconds_ = -1;
    std::uint64_t wholeFrames_ = 0;
};
