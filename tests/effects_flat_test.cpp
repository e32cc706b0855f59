#include <gtest/gtest.h>

#include <cstdint>

#include "art/tables.h"
#include "effects/effects.h"
#include "host/frame_loop.h"
#include "host/screen.h"
#include "music/beat_pulses.h"

namespace {

struct Cell {
    int glyph;
    int color;
};

void setPulses(float a, float b, float c) {
    pulseA = a;
    pulseB = b;
    pulseC = c;
}

// Publishes one cell as the frame loop does and runs a routine on it.
Cell runCell(void (*routine)(), int r, int c) {
    row = r;
    col = c;
    cellX = static_cast<float>(c - 40.0);
    cellY = static_cast<float>(r - 25.0);
    routine();
    const CHAR_INFO& cell = screenCells[r * 80 + c];
    return {static_cast<unsigned char>(cell.Char.AsciiChar), cell.Attributes};
}

bool isFlatGlyph(int glyph) {
    for (std::int32_t g : flatGlyphs)
        if (g == glyph) return true;
    return false;
}

class FlatEffects : public ::testing::Test {
protected:
    void SetUp() override {
        setPulses(0, 0, 0);
        timeMs = 0;
        seconds = 0;
    }
    void TearDown() override { setPulses(0, 0, 0); }
};

TEST_F(FlatEffects, StripesWorkedExamples) {
    timeMs = -60000;
    Cell centre = runCell(stripesCell, 25, 40);
    EXPECT_EQ(centre.glyph, 4);   // v = 496: diamond
    EXPECT_EQ(centre.color, 14);  // yellow

    setPulses(0, 3, 0);
    centre = runCell(stripesCell, 25, 40);
    EXPECT_EQ(centre.glyph, 7);   // v = 490: bullet
    EXPECT_EQ(centre.color, 12);  // bright red
}

TEST_F(FlatEffects, StripesMirrorAboutTheCentreColumn) {
    const float clocks[] = {-1234.0f, -60000.0f, -97531.0f};
    const float pulses[][2] = {{0, 0}, {3, 0}, {0.7f, 2.2f}};
    for (float t : clocks) {
        for (const auto& p : pulses) {
            timeMs = t;
            setPulses(p[0], p[1], 0);
            for (int r = 0; r < 50; r += 7) {
                for (int k = 1; k <= 39; ++k) {
                    const Cell left = runCell(stripesCell, r, 40 - k);
                    const Cell right = runCell(stripesCell, r, 40 + k);
                    ASSERT_EQ(left.glyph, right.glyph) << "t " << t << " row " << r << " k " << k;
                    ASSERT_EQ(left.color, right.color) << "t " << t << " row " << r << " k " << k;
                }
            }
        }
    }
}

TEST_F(FlatEffects, StripesGlyphFollowsTheColourGroup) {
    timeMs = -75000;
    for (int r = 0; r < 50; ++r) {
        for (int c = 0; c < 80; ++c) {
            const Cell cell = runCell(stripesCell, r, c);
            // The colour belongs to exactly one group; the glyph is that group's ramp entry.
            bool matched = false;
            for (int group = 0; group < 8 && !matched; ++group)
                for (int i = 0; i < 6; ++i)
                    if (flatColors48[group * 6 + i] == cell.color && flatGlyphs[group] == cell.glyph) matched = true;
            ASSERT_TRUE(matched) << r << "," << c;
        }
    }
}

TEST_F(FlatEffects, StripesEarlyNegativeValuesStayInTheTables) {
    // Before about 3.7 s of clock a pulse-A jolt drives the stripe value negative.
    setPulses(3, 0, 0);
    timeMs = -200;
    int shown = 0;
    for (int r = 0; r < 50; ++r) {
        for (int c = 0; c < 80; ++c) {
            screenCells[r * 80 + c] = CHAR_INFO{{0x7777}, 0x7777};
            const Cell cell = runCell(stripesCell, r, c);
            ASSERT_TRUE(isFlatGlyph(cell.glyph)) << r << "," << c;
            ASSERT_LE(cell.color, 15);
            if (cell.glyph != 0) ++shown;
        }
    }
    EXPECT_GT(shown, 0);
}

TEST_F(FlatEffects, WarpRingsWorkedExamples) {
    timeMs = -40000;
    Cell centre = runCell(warpRingsCell, 25, 40);
    EXPECT_EQ(centre.glyph, 7);   // ring 1: bullet
    EXPECT_EQ(centre.color, 13);  // bright magenta

    setPulses(0, 0, 4);
    Cell corner = runCell(warpRingsCell, 0, 0);
    EXPECT_EQ(corner.glyph, 15);  // ring 12: sun
    EXPECT_EQ(corner.color, 15);  // white
}

// The ring scale is neither a coordinate nor a distance, so it is carried in
// double into r2; rounding it to float moves this cell from ring 7 to ring 6.
TEST_F(FlatEffects, WarpRingsCarryTheRingScaleInDouble) {
    timeMs = -63501;
    seconds = 63.5;
    setPulses(2.9000000953674316f, 2.40000057220459f, 2.3999996185302734f);
    const Cell cell = runCell(warpRingsCell, 22, 1);
    EXPECT_EQ(cell.glyph, 9);   // ring number remainder 8 is 3: white circle
    EXPECT_EQ(cell.color, 11);  // bright cyan
}

TEST_F(FlatEffects, WarpRingsAtClockZeroCollapseTheWarpedAxes) {
    timeMs = 0;
    setPulses(1.5f, 2.0f, 4.0f);
    for (int r = 0; r < 50; r += 5) {
        for (int c = 0; c < 80; c += 3) {
            runCell(warpRingsCell, r, c);
            EXPECT_EQ(cellY, 0.0f) << r << "," << c;  // sin(t / 1934) is 0
        }
    }
}

TEST_F(FlatEffects, WarpRingsNumbersIndexBothTablesTogether) {
    // Glyph and colour come from one ring number n: glyph n rem 8, colour n rem 18.
    // Every cell's pair must be one that some n in 0..71 produces.
    const float clocks[] = {-1.0f, -40000.0f, -123456.0f};
    for (float t : clocks) {
        timeMs = t;
        setPulses(3, 0.5f, 2);
        for (int r = 0; r < 50; ++r) {
            for (int c = 0; c < 80; ++c) {
                const Cell cell = runCell(warpRingsCell, r, c);
                bool matched = false;
                for (int n = 0; n < 72 && !matched; ++n)
                    matched = flatGlyphs[n % 8] == cell.glyph && flatColors18[n % 18] == cell.color;
                ASSERT_TRUE(matched) << r << "," << c;
            }
        }
    }
}

TEST_F(FlatEffects, WarpRingsFollowAPulseThatChangesMidFrame) {
    // A trigger may land between two cells: the next cell must use the new value.
    timeMs = -51234;
    Cell calm[80], kicked[80];
    for (int c = 0; c < 80; ++c) calm[c] = runCell(warpRingsCell, 10, c);
    setPulses(0, 0, 4);
    for (int c = 0; c < 80; ++c) kicked[c] = runCell(warpRingsCell, 10, c);
    int differing = 0;
    for (int c = 0; c < 80; ++c) {
        setPulses(0, 0, c % 2 ? 4.0f : 0.0f);
        const Cell cell = runCell(warpRingsCell, 10, c);
        const Cell& expected = c % 2 ? kicked[c] : calm[c];
        EXPECT_EQ(cell.glyph, expected.glyph) << c;
        EXPECT_EQ(cell.color, expected.color) << c;
        if (calm[c].glyph != kicked[c].glyph || calm[c].color != kicked[c].color) ++differing;
    }
    EXPECT_GT(differing, 10);
}

TEST_F(FlatEffects, PlasmaWorkedExamples) {
    timeMs = 0;
    seconds = 0;
    Cell centre = runCell(plasmaCell, 25, 40);
    EXPECT_EQ(centre.glyph, 9);  // v = 25: white circle
    EXPECT_EQ(centre.color, 2);  // dark green

    Cell corner = runCell(plasmaCell, 0, 0);
    EXPECT_EQ(corner.glyph, 4);   // v = 22: diamond
    EXPECT_EQ(corner.color, 14);  // yellow

    seconds = 1;
    centre = runCell(plasmaCell, 25, 40);
    EXPECT_EQ(centre.glyph, 9);  // v = 40: white circle
    EXPECT_EQ(centre.color, 7);  // light grey
}

TEST_F(FlatEffects, PlasmaGlyphIsTheIndexDividedByEight) {
    // Glyph and colour must come from one plasma index i in 0..47, the glyph being
    // ramp entry i / 8 (so entries 6 and 7 never show).
    const float clocks[] = {-500.0f, -31000.0f, -250000.0f};
    for (float t : clocks) {
        timeMs = t;
        seconds = -t / 1000.0;
        for (int r = 0; r < 50; ++r) {
            for (int c = 0; c < 80; ++c) {
                const Cell cell = runCell(plasmaCell, r, c);
                bool matched = false;
                for (int i = 0; i < 48 && !matched; ++i)
                    matched = flatGlyphs[i / 8] == cell.glyph && flatColors48[i] == cell.color;
                ASSERT_TRUE(matched) << r << "," << c;
            }
        }
    }
}

TEST_F(FlatEffects, PlasmaColourAdvancesFifteenEntriesPerSecond) {
    timeMs = -5000;
    for (int r = 0; r < 50; r += 6) {
        for (int c = 0; c < 80; c += 7) {
            seconds = 2.0;
            const Cell before = runCell(plasmaCell, r, c);
            // 3.2 s adds 48: one whole pass through the table.
            seconds = 5.2;
            const Cell after = runCell(plasmaCell, r, c);
            EXPECT_EQ(before.glyph, after.glyph);
            EXPECT_EQ(before.color, after.color);
        }
    }
}

}  // namespace
