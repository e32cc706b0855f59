#pragma once
// What one kind of terminal takes: its byte strings (from its terminfo
// entry), how it names colours, and the look-alikes of code page 437 where it
// has no UTF-8.
#include <array>
#include <cstdint>
#include <string>

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

// The bytes that move the cursor to a terminal cell (0-based), and right by
// `columns`.
std::string cursorMove(const TerminalStyle& style, int row, int column);
std::string cursorRight(const TerminalStyle& style, int columns);

// True when the user's locale (LC_ALL, LC_CTYPE, LANG) encodes text as UTF-8.
bool localeIsUtf8();

// An ASCII character that looks like the code page 437 picture of `glyph`.
char cp437ToAscii(unsigned char glyph);

// The terminal colour (0 black, 1 red, 2 green, 3 yellow, 4 blue, 5 magenta,
// 6 cyan, 7 white, 8 to 15 their bright forms) of a console attribute's
// foreground (bit 0 blue, bit 1 green, bit 2 red, bit 3 intensity).
// Inline: the composer asks for every cell of every frame.
inline int terminalColorForAttribute(WORD attributes) {
    const int blue = attributes & 1, green = (attributes >> 1) & 1, red = (attributes >> 2) & 1;
    const int bright = (attributes >> 3) & 1;
    return red | (green << 1) | (blue << 2) | (bright << 3);
}

// The bytes that draw a box with caption, text and an OK button in the
// middle of a terminal of this size, in bright white.
std::string messageBoxBytes(const TerminalStyle& style, int terminalRows, int terminalColumns, const char* caption,
                            const char* text);
