#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>

#include "art/captions.h"
#include "host/frame_loop.h"
#include "host/screen.h"
#include "music/beat_pulses.h"

namespace {

struct Bitmap {
    const char* name;
    const std::int32_t* cells;
    int width;
};

const Bitmap bitmaps[] = {{"caption1", caption1, caption1Width},
                          {"caption2", caption2, caption2Width},
                          {"caption3", caption3, caption3Width},
                          {"caption4", caption4, caption4Width},
                          {"caption5", caption5, caption5Width}};

// A glyph and attribute no caption writes, so untouched cells stand out.
constexpr std::uint16_t sceneGlyph = 0x41;
constexpr WORD sceneColor = 0x0A;

void fillScene() {
    for (CHAR_INFO& cell : screenCells) {
        cell.Char.UnicodeChar = sceneGlyph;
        cell.Attributes = sceneColor;
    }
}

void setPulses(float a, float b, float c) {
    pulseA = a;
    pulseB = b;
    pulseC = c;
}

bool untouched(int r, int c) {
    const CHAR_INFO& cell = screenCells[r * 80 + c];
    return cell.Char.UnicodeChar == sceneGlyph && cell.Attributes == sceneColor;
}

// The screen cell holds what a bitmap value draws: 0 blank on black, 1 white block.
void expectDrawn(int r, int c, std::int32_t value, const char* what) {
    const CHAR_INFO& cell = screenCells[r * 80 + c];
    if (value == 2) {
        EXPECT_TRUE(untouched(r, c)) << what << " at " << r << "," << c;
    } else {
        EXPECT_EQ(cell.Char.UnicodeChar, value == 1 ? 219 : 0) << what << " at " << r << "," << c;
        EXPECT_EQ(cell.Attributes, value == 1 ? 15 : 0) << what << " at " << r << "," << c;
    }
}

// Checks that exactly the bitmap's non-transparent cells were written at the
// anchor and that nothing else on the screen changed.
void expectCaptionsAt(std::initializer_list<std::pair<const Bitmap*, std::pair<int, int>>> placed) {
    std::set<int> covered;
    for (const auto& [bitmap, anchor] : placed) {
        for (int r = 0; r < captionHeight; ++r)
            for (int k = 0; k < bitmap->width; ++k) {
                const std::int32_t v = bitmap->cells[r * bitmap->width + k];
                expectDrawn(anchor.first + r, anchor.second + k, v, bitmap->name);
                if (v != 2) covered.insert((anchor.first + r) * 80 + anchor.second + k);
            }
    }
    for (int i = 0; i < 4000; ++i)
        if (!covered.count(i)) {
            ASSERT_TRUE(untouched(i / 80, i % 80)) << "stray write at " << i / 80 << "," << i % 80;
        }
}

class Captions : public ::testing::Test {
protected:
    void SetUp() override {
        fillScene();
        setPulses(0, 0, 0);
    }
    void TearDown() override {
        setPulses(0, 0, 0);
        order = 0;
    }
    void draw(int songOrder) {
        order = songOrder;
        drawCaptions();
    }
};

TEST(CaptionBitmaps, GlyphAndColourPairs) {
    EXPECT_EQ(captionGlyphs[0], 0);
    EXPECT_EQ(captionGlyphs[1], 219);
    EXPECT_EQ(captionColors[0], 0);
    EXPECT_EQ(captionColors[1], 15);
}

TEST(CaptionBitmaps, SizesMatchTheirStorage) {
    EXPECT_EQ(sizeof(caption1) / sizeof(caption1[0]), 546u);
    EXPECT_EQ(sizeof(caption2) / sizeof(caption2[0]), 196u);
    EXPECT_EQ(sizeof(caption3) / sizeof(caption3[0]), 448u);
    EXPECT_EQ(sizeof(caption4) / sizeof(caption4[0]), 448u);
    EXPECT_EQ(sizeof(caption5) / sizeof(caption5[0]), 644u);
}

TEST(CaptionBitmaps, LettersWithAOneCellOutline) {
    for (const Bitmap& b : bitmaps) {
        int letters = 0;
        auto at = [&](int r, int k) {
            if (r < 0 || r >= captionHeight || k < 0 || k >= b.width) return -1;
            return static_cast<int>(b.cells[r * b.width + k]);
        };
        for (int r = 0; r < captionHeight; ++r) {
            for (int k = 0; k < b.width; ++k) {
                const int v = at(r, k);
                ASSERT_TRUE(v == 0 || v == 1 || v == 2) << b.name << " " << r << "," << k;
                bool nearLetter = false;
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dk = -1; dk <= 1; ++dk)
                        if ((dr || dk) && at(r + dr, k + dk) == 1) nearLetter = true;
                if (v == 1) {
                    ++letters;
                    EXPECT_TRUE(r > 0 && r < captionHeight - 1 && k > 0 && k < b.width - 1)
                        << b.name << ": letter cell on the border at " << r << "," << k;
                } else if (v == 0) {
                    EXPECT_TRUE(nearLetter) << b.name << ": outline cell away from the letters at " << r << "," << k;
                } else {
                    // Every letter is fully outlined: no transparent cell touches one.
                    EXPECT_FALSE(nearLetter) << b.name << ": letter not outlined at " << r << "," << k;
                }
            }
        }
        EXPECT_GT(letters, 40) << b.name;
    }
}

TEST_F(Captions, NoCaptionAtOtherOrders) {
    setPulses(3, 3, 4);
    for (int o : {-1, 0, 1, 3, 5, 7, 8, 20, 37, 40, 41}) {
        draw(o);
        expectCaptionsAt({});
    }
}

TEST_F(Captions, Order2AtRest) {
    draw(2);
    expectCaptionsAt({{&bitmaps[0], {3, 39}}, {&bitmaps[1], {34, 2}}});
}

TEST_F(Captions, Order2ShiftsByTheWholePartOfPulseC) {
    setPulses(0, 0, 4.0f);
    draw(2);
    expectCaptionsAt({{&bitmaps[0], {3, 35}}, {&bitmaps[1], {34, 6}}});

    fillScene();
    setPulses(0, 0, 2.9f);  // truncation, not rounding
    draw(2);
    expectCaptionsAt({{&bitmaps[0], {3, 37}}, {&bitmaps[1], {34, 4}}});

    fillScene();
    setPulses(0, 0, -0.2f + 1e-7f);  // resting just below 0
    draw(2);
    expectCaptionsAt({{&bitmaps[0], {3, 39}}, {&bitmaps[1], {34, 2}}});
}

TEST_F(Captions, Order4MovesUpOnPulseCAndLeftOnPulseB) {
    draw(4);
    expectCaptionsAt({{&bitmaps[3], {34, 46}}});
    fillScene();
    setPulses(3.0f, 3.0f, 4.0f);
    draw(4);
    expectCaptionsAt({{&bitmaps[3], {30, 43}}});
}

TEST_F(Captions, Order6MovesUpOnPulseAAndRightOnPulseB) {
    draw(6);
    expectCaptionsAt({{&bitmaps[4], {34, 2}}});
    fillScene();
    setPulses(3.0f, 3.0f, 4.0f);
    draw(6);
    expectCaptionsAt({{&bitmaps[4], {31, 5}}});
}

TEST_F(Captions, Orders38And39DrawTheDoubledChecker) {
    for (int o : {38, 39}) {
        for (float c : {0.0f, 4.0f}) {
            fillScene();
            setPulses(0, 0, c);
            draw(o);
            const int shift = static_cast<int>(c);
            std::set<int> covered;
            for (int r = 0; r < captionHeight; ++r)
                for (int k = 0; k < caption3Width; ++k) {
                    const std::int32_t v = caption3[r * caption3Width + k];
                    expectDrawn(13 + 2 * r, 8 + 2 * k + shift, v, "caption3 top-left");
                    expectDrawn(14 + 2 * r, 9 + 2 * k + shift, v, "caption3 bottom-right");
                    // The other two cells of the block keep the scene.
                    EXPECT_TRUE(untouched(13 + 2 * r, 9 + 2 * k + shift));
                    EXPECT_TRUE(untouched(14 + 2 * r, 8 + 2 * k + shift));
                    if (v != 2) {
                        covered.insert((13 + 2 * r) * 80 + 8 + 2 * k + shift);
                        covered.insert((14 + 2 * r) * 80 + 9 + 2 * k + shift);
                    }
                }
            for (int i = 0; i < 4000; ++i)
                if (!covered.count(i)) {
                    ASSERT_TRUE(untouched(i / 80, i % 80)) << i / 80 << "," << i % 80;
                }
        }
    }
}

TEST_F(Captions, EveryWriteStaysOnTheScreenOverTheFullShiftRange) {
    // Rows and columns each caption may cover over every shift the pulses give.
    struct Area {
        int order, top, bottom, left, right;
    };
    const Area areas[] = {{2, 3, 47, 2, 77}, {4, 30, 47, 43, 77}, {6, 31, 47, 2, 50}, {38, 13, 40, 8, 75}};
    const float pulseValues[] = {-0.1f, 0.0f, 0.5f, 1.0f, 2.0f, 3.0f};
    const float pulseCValues[] = {-0.2f, 0.0f, 1.0f, 2.0f, 3.0f, 4.0f};
    for (const Area& area : areas)
        for (float a : pulseValues)
            for (float b : pulseValues)
                for (float c : pulseCValues) {
                    fillScene();
                    setPulses(a, b, c);
                    draw(area.order);
                    for (int r = 0; r < 50; ++r)
                        for (int col = 0; col < 80; ++col)
                            if (r < area.top || r > area.bottom || col < area.left || col > area.right) {
                                ASSERT_TRUE(untouched(r, col)) << "order " << area.order << " at " << r << "," << col;
                            }
                }
}

TEST_F(Captions, WildPulsesNeverWriteOffTheScreen) {
    // A pulse far outside its normal range moves a caption partly or wholly off
    // the screen; the cells that would land outside are skipped.
    const float wild[] = {-1e30f, -45.0f, 20.0f, 60.0f, 1e30f};
    for (int o : {2, 4, 6, 38}) {
        for (float p : wild) {
            order = o;
            setPulses(p, p, p);
            drawCaptions();  // runs clean under the address sanitizer
        }
    }
    setPulses(0, 0, 20.0f);
    fillScene();
    draw(2);
    // caption1 moved 20 columns left; caption2 20 to the right, still whole.
    int k = 0;
    while (caption2[7 * caption2Width + k] != 1) ++k;
    expectDrawn(34 + 7, 22 + k, 1, "caption2");
}

}  // namespace
