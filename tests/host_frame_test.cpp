// The frame loop's own arithmetic and its end: pulse decay, timer readings,
// the clocks of a frame, and the loop test after a frame.
#include <gtest/gtest.h>

#include <cmath>

#include "host/frame_loop.h"
#include "host/screen.h"
#include "music/beat_pulses.h"
#include "platform/timer.h"
#include "tests/support/test_presenter.h"

namespace {

void resetPulses(float a, float b, float c) {
    pulseA.store(a);
    pulseB.store(b);
    pulseC.store(c);
}

}  // namespace

TEST(PulseDecay, ThreeStaysJustAboveZeroForThirtyStepsThenRestsBelow) {
    resetPulses(3.0f, 3.0f, 0.0f);
    for (int step = 1; step <= 30; ++step) {
        decayPulses();
        ASSERT_GT(pulseA.load(), 0.0f) << "step " << step;
    }
    EXPECT_LT(pulseA.load(), 1e-6f);
    EXPECT_EQ(pulseA.load(), pulseB.load());
    decayPulses();
    const float rest = pulseA.load();
    EXPECT_LT(rest, 0.0f);
    EXPECT_GT(rest, -0.1f);
    for (int step = 0; step < 100; ++step) decayPulses();
    EXPECT_EQ(pulseA.load(), rest) << "a pulse at or below 0 is left alone";
    EXPECT_EQ(static_cast<int>(rest), 0);
}

TEST(PulseDecay, FourWithTheDoubleStepGoesNegativeOnTheTwentiethStep) {
    resetPulses(0.0f, 0.0f, 4.0f);
    for (int step = 1; step <= 19; ++step) {
        decayPulses();
        ASSERT_GT(pulseC.load(), 0.0f) << "step " << step;
    }
    decayPulses();
    const float rest = pulseC.load();
    EXPECT_LT(rest, 0.0f);
    EXPECT_GT(rest, -1e-6f);
    decayPulses();
    EXPECT_EQ(pulseC.load(), rest);
    EXPECT_EQ(pulseA.load(), 0.0f) << "a pulse at 0 stays at 0";
}

TEST(TimerReading, IsTakenAsTheUnsignedCount) {
    EXPECT_EQ(timerMilliseconds(0u), 0.0);
    EXPECT_EQ(timerMilliseconds(2147483647u), 2147483647.0);
    EXPECT_EQ(timerMilliseconds(2147483648u), 2147483648.0);
    EXPECT_EQ(timerMilliseconds(4294967295u), 4294967295.0);
}

TEST(FrameClocks, TimeMsFallsFromTheStampAndSecondsRiseFromTheirs) {
    const double now = timerMilliseconds(timeGetTime());
    timeMsStart = static_cast<float>(now - 1500.0);
    secondsStart = now - 2500.0;
    readFrameClocks();
    // timeMs = stamp - now: about -1500 (give or take the float rounding of
    // the stamp and the milliseconds this test takes).
    EXPECT_NEAR(timeMs, static_cast<float>(now - 1500.0) - now, 50.0);
    EXPECT_LT(timeMs, -1400.0f);
    // seconds carries the single-precision 0.001.
    EXPECT_NEAR(seconds, 2.5, 0.05);
    const double elapsed = seconds / double(0.001f);
    EXPECT_NEAR(elapsed, std::round(elapsed), 1e-6) << "a whole number of milliseconds times 0.001f";
}

// The frame loop on a presenter of the test's own, which counts the presents
// and the Esc queries.
class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        shown = &TestPresenter::use();
        openConsoleScreen();
    }
    TestPresenter* shown = nullptr;
};

TEST_F(FrameLoopTest, OrderFortyOneRunsTheWholeFrameAndEndsWithoutAskingForEsc) {
    resetPulses(3.0f, 0.0f, 0.0f);
    scene = 0;
    order = 41;
    EXPECT_FALSE(finishFrame());
    EXPECT_EQ(scene, 7);
    EXPECT_EQ(row, 50) << "every row visited";
    EXPECT_EQ(shown->presents(), 1u);
    EXPECT_LT(pulseA.load(), 3.0f) << "the pulses decayed";
    // The marcher asks at its steps; the loop test after the present does not.
    EXPECT_GT(shown->escapeQueries(), 0u) << "the marcher asks at its steps";
    EXPECT_EQ(shown->escapeQueries(), shown->escapeQueriesAtPresent()) << "the key is not asked after order 40";
}

TEST_F(FrameLoopTest, OrderFortyGoesOnUnlessEscIsHeld) {
    order = 40;
    EXPECT_TRUE(finishFrame());
    EXPECT_EQ(shown->escapeQueries(), shown->escapeQueriesAtPresent() + 1);
    shown->setEscape(true);
    EXPECT_FALSE(finishFrame());
    EXPECT_EQ(shown->presents(), 2u);
}
