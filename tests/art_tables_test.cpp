#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "art/tables.h"

namespace {

template <int N>
std::vector<int> values(const std::int32_t (&table)[N]) {
    return std::vector<int>(table, table + N);
}

TEST(Tables, GlyphRamps) {
    EXPECT_EQ(values(marchGlyphs), (std::vector<int>{219, 8, 10, 15, 4, 9, 7, 250}));
    EXPECT_EQ(values(flatGlyphs), (std::vector<int>{0, 7, 4, 9, 15, 9, 4, 7}));
}

// The four marcher tables repeat one shape per block, in the yellow, green,
// blue and magenta families.
TEST(Tables, MarchColourBlocksShareOneShape) {
    const int bright[4] = {14, 10, 9, 13};
    const int dark[4] = {6, 2, 1, 5};
    for (int block = 0; block < 4; ++block) {
        const int b = bright[block], d = dark[block];
        const std::vector<int> a(marchColorsA + block * 8, marchColorsA + block * 8 + 8);
        const std::vector<int> bb(marchColorsB + block * 8, marchColorsB + block * 8 + 8);
        const std::vector<int> c(marchColorsC + block * 8, marchColorsC + block * 8 + 8);
        const std::vector<int> dd(marchColorsD + block * 8, marchColorsD + block * 8 + 8);
        EXPECT_EQ(a, (std::vector<int>{15, b, d, 0, 8, 7, 15, 15})) << "block " << block;
        EXPECT_EQ(bb, (std::vector<int>{0, b, d, 0, 8, 7, 8, 0})) << "block " << block;
        EXPECT_EQ(c, (std::vector<int>{15, b, d, 0, 8, 7, 8, 0})) << "block " << block;
        EXPECT_EQ(dd, (std::vector<int>{15, b, b, b, d, d, d, 0})) << "block " << block;
    }
}

TEST(Tables, FlatColourTables) {
    EXPECT_EQ(values(flatColors48),
              (std::vector<int>{0, 5, 13, 15, 13, 5, 0, 4, 12, 15, 12, 4, 0, 4, 12, 15, 14, 6,
                                0, 6, 14, 15, 14, 6, 0, 2, 10, 15, 10, 2, 0, 3, 11, 15, 11, 3,
                                0, 8, 7,  15, 7,  8, 0, 1, 9,  15, 9,  1}));
    EXPECT_EQ(values(flatColors18), (std::vector<int>{15, 13, 5, 0, 4, 12, 15, 14, 6, 0, 2, 10, 15, 11, 3, 0, 1, 9}));
}

TEST(Tables, LookupReducesByTheTableSize) {
    EXPECT_EQ(tableEntry(flatGlyphs, 7), 7);
    EXPECT_EQ(tableEntry(flatGlyphs, 9), 7);   // 9 rem 8 is 1
    EXPECT_EQ(tableEntry(flatGlyphs, 12), 15); // 12 rem 8 is 4
    EXPECT_EQ(tableEntry(flatColors48, 496), 14);
    EXPECT_EQ(tableEntry(flatColors18, 18 * 1000 + 17), 9);
}

TEST(Tables, NegativeIndexWrapsIntoTheTable) {
    // A negative remainder is brought into range by adding the table size.
    EXPECT_EQ(tableEntry(flatGlyphs, -1), flatGlyphs[7]);
    EXPECT_EQ(tableEntry(flatGlyphs, -8), flatGlyphs[0]);
    EXPECT_EQ(tableEntry(flatGlyphs, -9), flatGlyphs[7]);
    EXPECT_EQ(tableEntry(flatColors48, -1), flatColors48[47]);
    EXPECT_EQ(tableEntry(flatColors48, -47), flatColors48[1]);
    EXPECT_EQ(tableEntry(flatColors18, -19), flatColors18[17]);
    EXPECT_EQ(tableEntry(marchColorsA, -32 * 5 - 3), marchColorsA[29]);
    // The extreme indexes too: no overflow, no read outside.
    EXPECT_EQ(tableEntry(flatColors48, INT32_MIN), flatColors48[((INT32_MIN % 48) + 48) % 48]);
    EXPECT_EQ(tableEntry(flatColors18, INT32_MAX), flatColors18[INT32_MAX % 18]);
}

}  // namespace
