// What reaches a terminal for a grid of cells: the code page 437 pictures, the
// colours, the updates of changed cells only, and the placement in terminals
// of other sizes. Frames go through a real pseudo-terminal and are read back
// by a terminal emulator (libvterm).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/common/cp437.h"
#include "platform/linux/terminal_screen.h"
#include "tests/support/terminal_grid.h"

namespace {

constexpr int cellCount = 80 * 50;

struct Grid {
    CHAR_INFO cells[cellCount]{};
    void set(int row, int col, int glyph, int attributes) {
        CHAR_INFO& cell = cells[row * 80 + col];
        cell.Char.UnicodeChar = static_cast<std::uint16_t>(glyph);
        cell.Attributes = static_cast<WORD>(attributes);
    }
};

// Sends bytes through a pseudo-terminal in its default modes, as the program's
// terminal is, and returns what the other side receives.
std::string throughPty(const std::string& bytes) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    grantpt(master);
    unlockpt(master);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    EXPECT_GE(slave, 0);
    std::string received;
    std::thread writer([&] {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(slave, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
    });
    char buffer[65536];
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 200) <= 0) break;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    writer.join();
    close(slave);
    close(master);
    return received;
}

TerminalStyle style(const char* term, bool utf8 = true) { return loadTerminalStyle(term, utf8); }

// Whether no byte but the escapes that begin sequences is a control: no
// picture may act as one (a bell, a line feed, a delete).
bool onlyEscapesControl(const std::string& bytes) {
    return std::none_of(bytes.begin(), bytes.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != 0x1b) || b == 0x7f;
    });
}

bool blankGlyph(int glyph) { return glyph == 0 || glyph == 32 || glyph == 255; }

// The console's colour of each attribute, as a terminal numbers it.
constexpr int terminalColor[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

}  // namespace

TEST(TerminalScreenGlyphs, EveryCodeShowsItsPictureAndNoneActsAsAControl) {
    TerminalScreen screen(style("xterm-256color"));
    Grid grid;
    for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, i & 255, 15);
    const std::string sent = screen.compose(grid.cells);
    const std::string received = throughPty(sent);
    EXPECT_EQ(received, sent) << "the terminal's line discipline changed the frame";

    testterm::TerminalGrid term(50, 80);
    term.feed(received);
    EXPECT_TRUE(onlyEscapesControl(sent));
    EXPECT_TRUE(term.unexpected().empty()) << term.unexpected().front();
    for (int i = 0; i < cellCount; ++i) {
        const int glyph = i & 255;
        const char32_t shown = term.at(i / 80, i % 80).ch;
        if (blankGlyph(glyph)) {
            EXPECT_EQ(shown, U' ') << "glyph " << glyph;
        } else {
            EXPECT_EQ(shown, cp437ToUnicode[glyph]) << "glyph " << glyph;
        }
    }
    // The pictures of the control range that the scenes use.
    EXPECT_EQ(term.at(0, 4).ch, U'\u2666');
    EXPECT_EQ(term.at(0, 7).ch, U'\u2022');
    EXPECT_EQ(term.at(0, 8).ch, U'\u25d8');
    EXPECT_EQ(term.at(0, 9).ch, U'\u25cb');
    EXPECT_EQ(term.at(0, 10).ch, U'\u25d9');
    EXPECT_EQ(term.at(0, 15).ch, U'\u263c');
    EXPECT_EQ(term.at(2, 59).ch, U'\u2588');  // 219
    EXPECT_EQ(term.at(3, 10).ch, U'\u00b7');  // 250
}

TEST(TerminalScreenGlyphs, WithoutUtf8EveryCodeIsOnePrintableAsciiCharacter) {
    TerminalScreen screen(style("xterm-256color", false));
    Grid grid;
    for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, i & 255, 15);
    const std::string sent = screen.compose(grid.cells);
    testterm::TerminalGrid term(50, 80);
    term.feed(sent);
    EXPECT_TRUE(onlyEscapesControl(sent));
    for (int i = 0; i < cellCount; ++i) {
        const char32_t shown = term.at(i / 80, i % 80).ch;
        EXPECT_TRUE(shown >= 0x20 && shown < 0x7F) << "glyph " << (i & 255);
    }
    EXPECT_EQ(term.at(0, 'A').ch, U'A');
    EXPECT_EQ(term.at(2, 59).ch, U'#');  // full block
    EXPECT_EQ(term.at(3, 10).ch, U'.');  // middle dot
}

TEST(TerminalScreenColors, SixteenColorTerminalGetsEachAttributeOnBlack) {
    TerminalScreen screen(style("xterm-256color"));
    Grid grid;
    // Colours in an order that changes the colour at every cell.
    for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, 219, (i * 7) & 15);
    testterm::TerminalGrid term(50, 80);
    term.feed(throughPty(screen.compose(grid.cells)));
    for (int i = 0; i < cellCount; ++i) {
        const int attributes = (i * 7) & 15;
        const testterm::Cell cell = term.at(i / 80, i % 80);
        EXPECT_EQ(cell.background, 0) << "cell " << i;
        if (attributes == 0) {
            EXPECT_EQ(cell.ch, U' ') << "black on black shows nothing";
        } else {
            EXPECT_EQ(cell.ch, U'\u2588');
            EXPECT_EQ(cell.foreground, terminalColor[attributes]) << "attribute " << attributes;
            EXPECT_FALSE(cell.bold);
        }
    }
}

TEST(TerminalScreenColors, EightColorTerminalShowsBrightColoursAsBold) {
    TerminalScreen screen(style("xterm"));
    ASSERT_EQ(screen.style().colors, 8);
    Grid grid;
    for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, 'x', (i * 5) & 15);
    testterm::TerminalGrid term(50, 80);
    term.feed(screen.compose(grid.cells));
    for (int i = 0; i < cellCount; ++i) {
        const int attributes = (i * 5) & 15;
        if (attributes == 0) continue;
        const testterm::Cell cell = term.at(i / 80, i % 80);
        EXPECT_EQ(cell.foreground, terminalColor[attributes] & 7) << "attribute " << attributes;
        EXPECT_EQ(cell.bold, attributes >= 8) << "attribute " << attributes;
        EXPECT_EQ(cell.background, 0);
    }
}

TEST(TerminalScreenColors, HighAttributeBitsAndTheCharacterHighByteAreIgnored) {
    TerminalScreen screen(style("xterm-256color"));
    Grid grid;
    grid.set(0, 0, 0x0141, 0xF2);  // high byte 1, background bits set
    testterm::TerminalGrid term(50, 80);
    term.feed(screen.compose(grid.cells));
    EXPECT_EQ(term.at(0, 0).ch, U'A');
    EXPECT_EQ(term.at(0, 0).foreground, 2);
    EXPECT_EQ(term.at(0, 0).background, 0);
}

TEST(TerminalScreenUpdates, OnlyChangedCellsAreSentInOneSynchronizedUpdate) {
    TerminalScreen screen(style("xterm-256color"));
    Grid grid;
    for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, 176 + (i % 3), 1 + i % 15);
    testterm::TerminalGrid term(50, 80);
    auto synchronized = [](const std::string& bytes) {
        return bytes.starts_with("\x1b[?2026h") && bytes.ends_with("\x1b[?2026l");
    };
    const std::string first = screen.compose(grid.cells);
    term.feed(first);
    EXPECT_TRUE(synchronized(first));

    EXPECT_TRUE(screen.compose(grid.cells).empty()) << "an unchanged frame sends nothing";

    grid.set(10, 20, 'Q', 14);
    grid.set(49, 79, 'Z', 9);
    // A cell that changes only between two invisible forms sends nothing.
    grid.set(0, 0, 0, 0);
    const std::string changed = screen.compose(grid.cells);
    term.feed(changed);
    EXPECT_LT(changed.size(), 80u);
    EXPECT_TRUE(synchronized(changed));
    EXPECT_EQ(term.at(10, 20).ch, U'Q');
    EXPECT_EQ(term.at(10, 20).foreground, 11);
    EXPECT_EQ(term.at(49, 79).ch, U'Z');
    EXPECT_EQ(term.at(49, 79).foreground, 12);
    EXPECT_EQ(term.at(0, 0).ch, U' ');
    grid.set(0, 0, 'k', 0);
    EXPECT_TRUE(screen.compose(grid.cells).empty()) << "black on black is still blank";

    // The emulator saw the same picture the cells describe.
    for (int i = 1; i < cellCount; ++i) {
        const CHAR_INFO& cell = grid.cells[i];
        EXPECT_EQ(term.at(i / 80, i % 80).ch, cp437ToUnicode[cell.Char.UnicodeChar & 0xFF]) << i;
    }
}

TEST(TerminalScreenUpdates, ScatteredChangesLeaveThePictureExact) {
    // Changes of every spacing along the rows, so that gaps are skipped by
    // each kind of move or sent again; the terminal must end up showing
    // exactly the cells, frame after frame, in 16 and in 8 colours, and in
    // the VGA colours under tmux (two blacks, colour codes joined).
    for (const char* term : {"xterm-256color", "xterm", "tmux-256color"}) {
        SCOPED_TRACE(term);
        const bool vga = std::string(term) == "tmux-256color";
        ::unsetenv("COLORTERM");
        TerminalScreen screen(loadTerminalStyle(term, true, vga ? ConsolePalette::vga : ConsolePalette::terminal));
        const bool eightColors = std::string(term) == "xterm";
        testterm::TerminalGrid emulator(50, 80);
        Grid grid;
        std::uint32_t seed = 12345;
        // The generator's high bits: its low ones repeat within a few steps.
        auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
        for (int frame = 0; frame < 40; ++frame) {
            const int changes = 1 + static_cast<int>(next() % 1500);
            for (int k = 0; k < changes; ++k) {
                const int i = static_cast<int>(next() % cellCount);
                grid.set(i / 80, i % 80, static_cast<int>(next() % 256), static_cast<int>(next() % 16));
            }
            emulator.feed(screen.compose(grid.cells));
            for (int i = 0; i < cellCount; ++i) {
                const CHAR_INFO& cell = grid.cells[i];
                const auto glyph = static_cast<unsigned char>(cell.Char.UnicodeChar & 0xFF);
                const bool blank = glyph == 0 || glyph == 0x20 || glyph == 0xFF || (cell.Attributes & 15) == 0;
                const testterm::Cell shown = emulator.at(i / 80, i % 80);
                ASSERT_EQ(shown.ch, blank ? U' ' : cp437ToUnicode[glyph]) << "frame " << frame << " cell " << i;
                if (blank) continue;
                const int color = terminalColorForAttribute(cell.Attributes & 15);
                if (vga) {
                    ASSERT_EQ(shown.foreground, nearestColour256(vgaColour(color))) << "frame " << frame << " cell " << i;
                    ASSERT_TRUE(shown.background == 16 || shown.background == testterm::rgbColour(0)) << "cell " << i;
                } else if (eightColors) {
                    ASSERT_EQ(shown.foreground, color & 7) << "frame " << frame << " cell " << i;
                    ASSERT_EQ(shown.bold, color >= 8) << "frame " << frame << " cell " << i;
                } else {
                    ASSERT_EQ(shown.foreground, color) << "frame " << frame << " cell " << i;
                }
            }
        }
        EXPECT_TRUE(emulator.unexpected().empty()) << emulator.unexpected().front();
    }
}

// The black code (0: 40, 1: 48;5;0) in force when each cell was written.
std::vector<int> blackCodeOfEachCell(const std::string& bytes) {
    std::vector<int> code(cellCount, -1);
    int current = -1, row = 0, col = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        if (bytes[i] == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            const std::size_t end = bytes.find_first_of("HCmhlJ", i + 2);
            const std::string params = bytes.substr(i + 2, end - i - 2);
            if (bytes[end] == 'H') {
                row = col = 1;
                std::sscanf(params.c_str(), "%d;%d", &row, &col);
                --row, --col;
            } else if (bytes[end] == 'C') {
                col += std::max(1, std::atoi(params.c_str()));
            } else if (bytes[end] == 'm') {
                // The first black is 40 or the cube's 16, the second 256-colour
                // index 0 or RGB black, wherever they stand in the codes.
                const std::string codes = ";" + params + ";";
                if (codes.ends_with(";40;") || codes.find(";48;5;16;") != std::string::npos) current = 0;
                if (codes.find(";48;5;0;") != std::string::npos || codes.find(";48;2;0;0;0;") != std::string::npos)
                    current = 1;
            }
            i = end + 1;
            continue;
        }
        if (bytes[i] == '\x1b') {  // a character set choice, ESC ( B
            i += 3;
            continue;
        }
        if (static_cast<unsigned char>(bytes[i]) < 0x20) {  // SI in the reset
            ++i;
            continue;
        }
        // A character: skip its UTF-8 continuation bytes.
        ++i;
        while (i < bytes.size() && (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80) ++i;
        if (row >= 0 && row < 50 && col >= 0 && col < 80) code[static_cast<std::size_t>(row * 80 + col)] = current;
        ++col;
    }
    return code;
}

TEST(TerminalScreenColors, BlackChangesItsCodeAtEveryRowForTmuxRedraws) {
    // tmux redraws its screen without the codes it believes are in force, and
    // after falling behind that belief is stale: each row must bring its own.
    // With the VGA colours both codes are true black, never the theme's.
    ::unsetenv("COLORTERM");
    for (ConsolePalette palette : {ConsolePalette::terminal, ConsolePalette::vga}) {
        SCOPED_TRACE(palette == ConsolePalette::vga ? "vga" : "terminal");
        TerminalScreen screen(loadTerminalStyle("tmux-256color", true, palette));
        Grid grid;
        for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, i % 5 == 0 ? 219 : 0, 1 + i % 15);
        for (int frame = 0; frame < 2; ++frame) {
            const std::string bytes = screen.compose(grid.cells, frame * 5000);
            const std::vector<int> code = blackCodeOfEachCell(bytes);
            testterm::TerminalGrid term(50, 80);
            term.feed(bytes);
            for (int i = 0; i < cellCount; ++i) {
                const int background = term.at(i / 80, i % 80).background;
                if (palette == ConsolePalette::vga) {
                    ASSERT_TRUE(background == 16 || background == testterm::rgbColour(0)) << "cell " << i;
                } else {
                    ASSERT_EQ(background, 0) << "cell " << i;
                }
                ASSERT_NE(code[static_cast<std::size_t>(i)], -1) << "cell " << i << " not sent in frame " << frame;
                // In row order the code changes at every cell of the first row and
                // at the first cell of every other row.
                if (i > 0 && (i < 80 || i % 80 == 0)) {
                    EXPECT_NE(code[static_cast<std::size_t>(i)], code[static_cast<std::size_t>(i - 1)]) << "cell " << i;
                }
            }
        }
    }
    const TerminalStyle eight = style("xterm");
    EXPECT_TRUE(eight.backgroundTwin.empty()) << "an 8-colour terminal has one black";
}

TEST(TerminalScreenColors, VgaColoursAreExactWhereTheTerminalTakesRgbElseTheNearestOf256) {
    Grid grid;
    for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, 219, (i * 7) & 15);
    struct Case {
        const char* term;
        const char* colorTerm;
        TerminalStyle::Codes codes;
    };
    for (const Case& c : {Case{"xterm-256color", "truecolor", TerminalStyle::Codes::direct},
                          Case{"xterm-direct", nullptr, TerminalStyle::Codes::direct},
                          Case{"xterm-256color", nullptr, TerminalStyle::Codes::cube},
                          Case{"xterm-256color", "yes", TerminalStyle::Codes::cube}}) {
        SCOPED_TRACE(std::string(c.term) + " COLORTERM=" + (c.colorTerm ? c.colorTerm : "(unset)"));
        if (c.colorTerm != nullptr) {
            ::setenv("COLORTERM", c.colorTerm, 1);
        } else {
            ::unsetenv("COLORTERM");
        }
        TerminalScreen screen(loadTerminalStyle(c.term, true, ConsolePalette::vga));
        ASSERT_EQ(screen.style().codes, c.codes);
        testterm::TerminalGrid term(50, 80);
        term.feed(screen.compose(grid.cells));
        EXPECT_TRUE(term.unexpected().empty()) << term.unexpected().front();
        for (int i = 0; i < cellCount; ++i) {
            const int attributes = (i * 7) & 15;
            const testterm::Cell cell = term.at(i / 80, i % 80);
            ASSERT_TRUE(cell.background == 16 || cell.background == testterm::rgbColour(0)) << "cell " << i;
            if (attributes == 0) continue;
            const std::uint32_t vga = vgaColour(terminalColor[attributes]);
            // The colour on screen: the RGB given, or index 16 to 255 of the 256.
            ASSERT_GE(cell.foreground, 16) << "attribute " << attributes;
            const std::uint32_t shown = cell.foreground >= testterm::rgbColour(0)
                                            ? std::uint32_t(cell.foreground - testterm::rgbColour(0))
                                            : colour256(cell.foreground);
            ASSERT_EQ(shown, c.codes == TerminalStyle::Codes::direct ? vga : colour256(nearestColour256(vga)))
                << "attribute " << attributes;
        }
    }
    ::unsetenv("COLORTERM");
    // The nearest of the 256: the cube's brown and the grey ramp's greys.
    EXPECT_EQ(colour256(nearestColour256(0xAA5500)), 0xAF5F00u);
    EXPECT_EQ(colour256(nearestColour256(0x555555)), 0x585858u);
    EXPECT_EQ(colour256(nearestColour256(0xFFFFFF)), 0xFFFFFFu);
    // Eight colours: the terminal's own, bright ones in bold, as without the VGA palette.
    EXPECT_EQ(loadTerminalStyle("xterm", true, ConsolePalette::vga).codes, TerminalStyle::Codes::palette);
}

TEST(TerminalScreenUpdates, WholeFrameEveryTwoSecondsAndAtANewScene) {
    for (const char* term : {"xterm-256color", "xterm"}) {
        SCOPED_TRACE(term);
        TerminalScreen screen(style(term));
        Grid grid;
        for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, 'a' + i % 26, 1 + i % 15);
        // A fresh terminal fed one frame shows the whole picture only when
        // that frame was sent whole.
        auto sentWhole = [&](const std::string& bytes) {
            testterm::TerminalGrid fresh(50, 80);
            fresh.feed(bytes);
            for (int i = 0; i < cellCount; ++i) {
                if (fresh.at(i / 80, i % 80).ch != char32_t('a' + i % 26)) return false;
            }
            return true;
        };
        EXPECT_TRUE(sentWhole(screen.compose(grid.cells, 10000)));
        EXPECT_TRUE(screen.compose(grid.cells, 11000).empty());
        EXPECT_TRUE(screen.compose(grid.cells).empty()) << "without a clock, only changes";
        EXPECT_TRUE(sentWhole(screen.compose(grid.cells, 12000)));
        EXPECT_EQ(screen.wholeFrames(), 2u);

        // A new scene.
        for (int i = 0; i < cellCount * 6 / 10; ++i) grid.set(i / 80, i % 80, 'a' + i % 26, 2 + i % 14);
        screen.sendWholeNext();
        EXPECT_TRUE(sentWhole(screen.compose(grid.cells, 12500)));
        // Otherwise a change, however large, sends only itself.
        for (int i = 0; i < cellCount * 9 / 10; ++i) grid.set(i / 80, i % 80, 'a' + i % 26, 1 + i % 15);
        const std::string part = screen.compose(grid.cells, 13000);
        EXPECT_FALSE(part.empty());
        EXPECT_FALSE(sentWhole(part));
        EXPECT_EQ(screen.wholeFrames(), 3u);
    }
}

TEST(TerminalScreenPlacement, SmallerTerminalShowsTheCentreCropped) {
    TerminalScreen screen(style("xterm-256color"));
    Grid grid;
    for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, 'a' + (i % 26), 1 + (i / 80) % 15);
    screen.setSize(20, 60);
    testterm::TerminalGrid term(20, 60);
    const std::string frame = screen.compose(grid.cells);
    term.feed(frame);
    EXPECT_TRUE(term.unexpected().empty()) << term.unexpected().front();
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 60; ++c) {
            const int i = (r + 15) * 80 + (c + 10);
            ASSERT_EQ(term.at(r, c).ch, char32_t('a' + (i % 26))) << r << "," << c;
        }
    }
}

TEST(TerminalScreenPlacement, LargerTerminalShowsTheGridCentredAndFollowsResizes) {
    TerminalScreen screen(style("xterm-256color"));
    Grid grid;
    for (int i = 0; i < cellCount; ++i) grid.set(i / 80, i % 80, '#', 10);
    testterm::TerminalGrid term(61, 101);
    term.feed(screen.compose(grid.cells));

    // The frame moves to the centre, and none of it stays where it was.
    screen.setSize(61, 101);
    term.feed(screen.compose(grid.cells));
    for (int r = 0; r < 61; ++r) {
        for (int c = 0; c < 101; ++c) {
            const bool inside = r >= 5 && r < 55 && c >= 10 && c < 90;
            ASSERT_EQ(term.at(r, c).ch, inside ? U'#' : U' ') << "a resize draws the frame whole: " << r << "," << c;
        }
    }
}

TEST(TerminalScreenStyle, UnknownTerminalFallsBackToXtermSequences) {
    const TerminalStyle fallback = style("no-such-terminal-here");
    EXPECT_EQ(fallback.colors, 8);
    EXPECT_EQ(fallback.foreground[3], "\x1b[33m");
    EXPECT_NE(fallback.enterScreen.find("\x1b[?1049h"), std::string::npos);
    EXPECT_NE(fallback.leaveScreen.find("\x1b[?25h"), std::string::npos);
    EXPECT_EQ(cursorMove(fallback, 0, 0), "\x1b[1;1H");
}
