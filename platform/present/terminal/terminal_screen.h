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
#include "platform/present/terminal/terminal_style.h"

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
