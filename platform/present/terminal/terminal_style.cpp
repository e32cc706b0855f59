// A terminal's byte strings from its terminfo entry, its colours and the
// look-alikes of code page 437 for terminals without UTF-8.
#include "platform/present/terminal/terminal_style.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string_view>

#include "platform/common/vga_palette.h"

// term.h names each terminfo capability with a macro; the two that clash
// with ordinary words here are taken away again.
#include <term.h>
#undef columns
#undef lines

namespace {

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

}  // namespace

std::string cursorMove(const TerminalStyle& style, int row, int column) {
    return format(style.cursorAddress, row, column);
}

std::string cursorRight(const TerminalStyle& style, int columns) { return format(style.cursorRight, columns); }

char cp437ToAscii(unsigned char glyph) {
    if (glyph < 0x20) return asciiLow[glyph >> 4][glyph & 15];
    if (glyph < 0x7F) return static_cast<char>(glyph);
    if (glyph == 0x7F) return '^';
    return asciiHigh[(glyph - 0x80) >> 4][glyph & 15];
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
    // The terminal's red is the console's bit 2, its blue the console's bit 0.
    const int c = terminalColour & 15;
    const unsigned attribute = unsigned(((c & 1) << 2) | (c & 2) | ((c >> 2) & 1) | (c & 8));
    return textModeArgb(attribute) & 0xFFFFFFu;
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
