// The marcher: far-limit fades, order wobble, cameras, shading and how a
// march ends.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "art/tables.h"
#include "host/frame_state.h"
#include "host/screen.h"
#include "music/beat_pulses.h"
#include "tests/support/test_presenter.h"
#include "raymarch/marcher.h"

namespace {

class Marcher : public ::testing::Test {
protected:
    void SetUp() override {
        publishFrameState({});
        keys = &TestPresenter::use();
    }
    void TearDown() override {
        keys->setEscape(false);
        publishFrameState({});
    }

    TestPresenter* keys = nullptr;  // the Esc key the marcher asks

    static void marchAt(int r, int c) {
        row = r;
        col = c;
        cellX = static_cast<float>(c - 40.0);
        cellY = static_cast<float>(r - 25.0);
        marchCell();
    }
    static const CHAR_INFO& cellAt(int r, int c) { return screenCells[r * 80 + c]; }
    static bool isBackground(const CHAR_INFO& cell) {
        return static_cast<unsigned char>(cell.Char.AsciiChar) == 250 && cell.Attributes == 0;
    }
};

TEST_F(Marcher, FarLimitFadesInWhileOrderIsBelowFour) {
    seconds = 0.5;
    marchAt(10, 10);
    EXPECT_NEAR(farLimit, -74.45f, 0.01f);
    seconds = 4.0;
    marchAt(10, 10);
    EXPECT_EQ(farLimit, 0.0f);
    seconds = 8.0;
    marchAt(10, 10);
    EXPECT_NEAR(farLimit, 97.0f * std::sin(1.0f), 1e-4f);
    seconds = 9.72;  // the first value of 96 or more stops the fade-in
    marchAt(10, 10);
    EXPECT_GE(farLimit, 96.0f);
    EXPECT_LE(farLimit, 97.0f);
    const float held = farLimit;
    seconds = 11.0;
    marchAt(10, 10);
    EXPECT_EQ(farLimit, held);
}

TEST_F(Marcher, FarLimitHoldsFromOrderFourToThirtyEight) {
    for (std::int32_t o : {4, 20, 38}) {
        order = o;
        scene = sceneForOrder(o) == 1 ? 9 : sceneForOrder(o);
        farLimit = 50.0f;
        seconds = 100.0;
        marchAt(25, 40);
        EXPECT_EQ(farLimit, 50.0f) << "order " << o;
    }
}

TEST_F(Marcher, FarLimitFadesOutFromOrderThirtyNineUntilItReachesZero) {
    scene = 7;
    order = 39;
    farLimit = 96.5f;
    seconds = 170.0;
    marchAt(25, 40);
    EXPECT_FLOAT_EQ(farLimit, static_cast<float>(128.0 * std::sin(42.5f)));
    seconds = 4.0 * M_PI * 10.0 - 0.01;  // a little below zero: the fade stops there
    marchAt(25, 40);
    EXPECT_LE(farLimit, 0.0f);
    const float last = farLimit;
    seconds = 4.0 * M_PI * 10.5;  // where the sine would be high again
    marchAt(25, 40);
    EXPECT_EQ(farLimit, last);
}

TEST_F(Marcher, NoFarLimitLeavesOnlyFirstSampleHits) {
    const std::uint64_t before = marchStepCount;
    drawFrame({.order = 33, .timeMs = -150000.0f, .farLimit = -3.0f});
    EXPECT_EQ(marchStepCount - before, 4000u);
    for (const CHAR_INFO& cell : screenCells) EXPECT_TRUE(isBackground(cell));
}

TEST_F(Marcher, OrderWobbleIsTakenAtOrdersEighteenToTwentyThreeAndHeld) {
    scene = 2;
    farLimit = 96.0f;
    const float expected[] = {0.823f, 0.476f, 0.026f, -0.429f, -0.792f, -0.982f};
    for (std::int32_t o = 18; o <= 23; ++o) {
        order = o;
        marchAt(0, 0);
        EXPECT_NEAR(orderWobble, expected[o - 18], 0.0006f) << "order " << o;
    }
    order = 24;
    marchAt(0, 0);
    EXPECT_NEAR(orderWobble, -0.982f, 0.0006f);
    order = 17;
    orderWobble = 0.0f;
    marchAt(0, 0);
    EXPECT_EQ(orderWobble, 0.0f);
}

TEST_F(Marcher, CamerasAndViewRays) {
    farLimit = 96.0f;
    scene = 7;
    order = 38;
    rotX = 0.25f;
    rotY = 0.5f;
    timeMs = -170000.0f;
    marchAt(25, 40);  // the tunnels do not turn the ray
    // The tunnel field sets rotX itself; rotY is left alone.
    EXPECT_EQ(rotY, 0.5f);
    EXPECT_EQ(rayDir.x, 0.0f); EXPECT_EQ(rayDir.y, 0.0f); EXPECT_EQ(rayDir.z, 1.0f);
    EXPECT_EQ(camPos.z, 0.0f);
    marchAt(0, 0);
    EXPECT_EQ(rayDir.x, -1.0f); EXPECT_EQ(rayDir.y, -0.625f); EXPECT_EQ(rayDir.z, 1.0f);

    scene = 2;
    order = 20;
    timeMs = -90000.0f;
    marchAt(25, 40);
    EXPECT_EQ(rotX, 1.5f);
    EXPECT_EQ(rotY, 0.0f);
    EXPECT_NEAR(camPos.z, 20.0 * std::sin(-90.0) - 60.0 + 20.0 * orderWobble, 1e-4);
    const float angle = static_cast<float>(0.7f * std::sin(-90000.0 / 1700.0));
    EXPECT_NEAR(rayDir.y, std::sin(angle), 1e-6);
    EXPECT_NEAR(rayDir.z, std::cos(angle), 1e-6);

    scene = 5;
    order = 29;
    timeMs = -126000.0f;
    marchAt(25, 40);
    EXPECT_EQ(camPos.z, 12.0f);
    EXPECT_NEAR(rotX, 0.6 * std::cos(-126000.0 / 1900.0), 1e-6);
    EXPECT_NEAR(rotY, 0.7 * std::sin(-126000.0 / 1500.0), 1e-6);

    scene = 9;
    order = 13;
    timeMs = -60000.0f;
    marchAt(25, 40);
    EXPECT_NEAR(camPos.z, 400.0 * std::sin(-10.0), 1e-3);

    scene = 0;
    order = 1;
    timeMs = -7000.0f;
    marchAt(25, 40);
    EXPECT_NEAR(camPos.z, 200.0 * std::sin(-1.4), 1e-3);
    EXPECT_NEAR(rotX, 0.7 * std::cos(-7000.0 / 1100.0), 1e-6);
    EXPECT_NEAR(rotY, 0.7 * std::sin(-7000.0 / 1700.0), 1e-6);
}

TEST_F(Marcher, HitTestComesBeforeTheFarTest) {
    scene = 7;
    order = 38;
    timeMs = -170000.0f;
    farLimit = 96.0f;
    marchAt(20, 30);
    const CHAR_INFO shaded = cellAt(20, 30);
    ASSERT_FALSE(isBackground(shaded));
    const float hitDepth = rayPos.z;  // camera at z = 0, ray along +z
    // A far limit at exactly the hit's depth still shades the hit...
    farLimit = hitDepth;
    marchAt(20, 30);
    EXPECT_EQ(cellAt(20, 30).Char.AsciiChar, shaded.Char.AsciiChar);
    EXPECT_EQ(cellAt(20, 30).Attributes, shaded.Attributes);
    // ...while one short of the samples before it leaves the background.
    farLimit = 1.0f;
    marchAt(20, 30);
    EXPECT_TRUE(isBackground(cellAt(20, 30)));
}

TEST_F(Marcher, EscEndsEveryMarchAtItsFirstSampleThatDoesNotHit) {
    FrameState frame{.order = 2, .timeMs = -9000.0f, .seconds = 20.0, .farLimit = 96.0f, .captions = false};
    keys->setEscape(true);
    const std::uint64_t before = marchStepCount;
    drawFrame(frame);
    EXPECT_EQ(marchStepCount - before, 4000u);
    CHAR_INFO withEsc[4000];
    std::copy(std::begin(screenCells), std::end(screenCells), withEsc);
    // The same frame with no far limit stops every march at the same sample:
    // from below 96 the fade-in takes it to 97 sin(20 / 4 - 1), below 0.
    keys->setEscape(false);
    frame.farLimit = 0.0f;
    drawFrame(frame);
    EXPECT_LT(farLimit, 0.0f);
    for (int i = 0; i < 4000; ++i) {
        EXPECT_EQ(withEsc[i].Char.AsciiChar, screenCells[i].Char.AsciiChar) << i;
        EXPECT_EQ(withEsc[i].Attributes, screenCells[i].Attributes) << i;
    }
}

TEST_F(Marcher, ShadingExamples) {
    row = 3;
    col = 4;
    beatCount = 5;
    struct Example {
        std::int32_t scene;
        float z;
        int colorIndex, glyphIndex;
        int glyph;
        std::int32_t attribute;
    };
    for (const Example& e : {Example{2, 0.0f, 11, 2, marchGlyphs[2], marchColorsA[11]},
                             Example{9, -3.5f, 199, 199, marchGlyphs[7], marchColorsD[7]},
                             Example{0, 10.0f, 1003, 2014, marchGlyphs[6], marchColorsB[11]}}) {
        SCOPED_TRACE(e.scene);
        scene = e.scene;
        shadeHit(e.z);
        EXPECT_EQ(colorIndex, e.colorIndex);
        EXPECT_EQ(glyphIndex, e.glyphIndex);
        EXPECT_EQ(static_cast<unsigned char>(cellAt(3, 4).Char.AsciiChar), e.glyph);
        EXPECT_EQ(cellAt(3, 4).Attributes, e.attribute);
    }
    // 1.4 is taken at single precision: at this depth (z + 2000) / 2 - 1.4
    // is exactly 999 with it and just below 999 with the double constant.
    shadeHit(std::nextafter(0.8f, 0.0f));
    EXPECT_EQ(colorIndex, 999);

    scene = 5;
    beatCount = 6;
    shadeHit(0.0f);
    EXPECT_EQ(colorIndex, 2 * 8 + 200 - 1);
    EXPECT_EQ(glyphIndex, 200);
    EXPECT_EQ(cellAt(3, 4).Attributes, marchColorsC[(2 * 8 + 200 - 1) % 32]);

    for (std::int32_t s : {7, 8}) {
        scene = s;
        timeMs = -900.0f;
        shadeHit(5.5f);
        EXPECT_EQ(colorIndex, 15);
        EXPECT_EQ(glyphIndex, 15);
        EXPECT_EQ(cellAt(3, 4).Attributes, marchColorsC[15]);
    }
}

TEST_F(Marcher, NegativeIndexesStayInsideTheTables) {
    row = 0;
    col = 0;
    scene = 9;
    shadeHit(-900.0f);  // trunc(-100) div 4 = -25
    EXPECT_EQ(colorIndex, -25);
    EXPECT_EQ(static_cast<unsigned char>(cellAt(0, 0).Char.AsciiChar), marchGlyphs[7]);
    EXPECT_EQ(cellAt(0, 0).Attributes, marchColorsD[7]);
    scene = 2;
    beatCount = -3;  // a remainder of -3 picks a block before the table
    shadeHit(0.0f);
    EXPECT_EQ(cellAt(0, 0).Attributes, marchColorsA[(-24 + 3 + 32) % 32]);
}

TEST_F(Marcher, SceneTwoTakesOverBeatCountAtOrdersEighteenToTwentyThree) {
    scene = 2;
    farLimit = 96.0f;
    timeMs = -85000.0f;
    order = 19;
    beatCount = 77;
    marchAt(25, 40);
    EXPECT_EQ(beatCount.load(), 19);
    order = 24;
    beatCount = 23;
    triggerPulseA(nullptr, 0);
    marchAt(25, 40);
    EXPECT_EQ(beatCount.load(), 24);
}

TEST_F(Marcher, ARayBetweenTheCubesEndsAtTheStepLimit) {
    // A frame of the song (found by scanning it as bench/raymarch_bench --scan
    // does) whose ray through cell (2, 68) runs between the spinning cubes
    // nearly parallel to the screen: it neither hits a cube nor gets past the
    // far limit in depth.
    publishFrameState({.order = 13, .timeMs = -54580.0f, .seconds = 54.58, .pulseA = -0.1f, .pulseB = -0.1f,
                       .pulseC = -0.2f, .farLimit = 97.0f});
    const std::uint64_t before = marchStepCount;
    marchAt(2, 68);
    EXPECT_EQ(marchStepCount - before, static_cast<std::uint64_t>(marchStepLimit));
    EXPECT_LT(std::fabs(rayDir.z), 0.01f);
    EXPECT_TRUE(isBackground(cellAt(2, 68)));
}

TEST_F(Marcher, RaysEndWithoutAFarLimitInEveryScene) {
    const std::int32_t scenes[] = {0, 2, 5, 7, 8, 9};
    const std::int32_t orders[] = {2, 20, 29, 38, 33, 13};
    for (int i = 0; i < 6; ++i) {
        scene = scenes[i];
        order = orders[i];
        timeMs = static_cast<float>(-4400.0 * orders[i] - 1234.0);
        for (int r = 0; r < 50; r += 7)
            for (int c = 0; c < 80; c += 9) {
                farLimit = FLT_MAX;
                const std::uint64_t before = marchStepCount;
                marchAt(r, c);
                EXPECT_LE(marchStepCount - before, static_cast<std::uint64_t>(marchStepLimit));
            }
    }
}

}  // namespace
