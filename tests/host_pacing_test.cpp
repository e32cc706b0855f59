// Frame pacing: the schedule's arithmetic over simulated time, and the wait
// that Esc cuts short.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "host/frame_loop.h"
#include "host/frame_pacing.h"
#include "host/screen.h"
#include "platform/keyboard.h"
#include "platform/timer.h"
#include "tests/support/test_presenter.h"

namespace {

constexpr std::int64_t second = 1000000000;
constexpr std::int64_t millisecond = 1000000;

// Runs `frames` frames whose work takes `work(k)` ns each, from time `start`,
// and returns when each frame started.
template <typename Work>
std::vector<std::int64_t> simulate(FrameSchedule& schedule, int fps, std::int64_t start, int frames, Work work) {
    startSchedule(schedule, fps, start);
    std::vector<std::int64_t> starts;
    std::int64_t now = start;
    for (int k = 0; k < frames; ++k) {
        starts.push_back(now);
        now += work(k);
        const std::int64_t next = nextFrameStart(schedule, now);
        EXPECT_GE(next, now) << "frame " << k;
        now = next;
    }
    return starts;
}

// The most frame starts that fall in any window of `width` ns.
int mostStartsInAWindow(const std::vector<std::int64_t>& starts, std::int64_t width) {
    int most = 0;
    for (std::size_t i = 0, j = 0; i < starts.size(); ++i) {
        while (starts[i] - starts[j] >= width) ++j;
        most = std::max(most, static_cast<int>(i - j + 1));
    }
    return most;
}

}  // namespace

TEST(FrameSchedule, AnHourAtSixtyEndsOnTheSecondWithoutDrift) {
    FrameSchedule schedule;
    const std::int64_t start = 123456789012345;
    const auto starts = simulate(schedule, 60, start, 60 * 3600 + 1, [](int k) { return (3 + k % 7) * millisecond; });
    for (std::size_t k = 0; k < starts.size(); k += 997) {
        // Frame k starts at start + k / 60 s, to the nanosecond (k * 1e9 / 60 rounded down).
        ASSERT_EQ(starts[k], start + static_cast<std::int64_t>(k) * second / 60) << "frame " << k;
    }
    EXPECT_EQ(starts.back(), start + 3600 * second);
    EXPECT_EQ(schedule.lateFrames, 0);
}

TEST(FrameSchedule, ALateFrameIsFollowedAtOnceAndThenAtTheRateWithNoBurst) {
    FrameSchedule schedule;
    // Frame 100 takes 250 ms, fifteen periods; the others take 4 ms.
    const auto starts =
        simulate(schedule, 60, 0, 400, [](int k) { return k == 100 ? 250 * millisecond : 4 * millisecond; });
    const std::int64_t lateEnd = starts[100] + 250 * millisecond;
    EXPECT_EQ(starts[101], lateEnd) << "the next frame starts as soon as the late one ends";
    for (int k = 102; k < 400; ++k) {
        ASSERT_EQ(starts[k], lateEnd + (k - 101) * second / 60) << "frame " << k << " is on the new schedule";
    }
    EXPECT_LE(mostStartsInAWindow(starts, second), 61) << "no catch-up burst";
    EXPECT_EQ(schedule.lateFrames, 1);
    EXPECT_EQ(schedule.frames, 400);
}

TEST(FrameSchedule, ZeroFramesPerSecondNeverWaits) {
    FrameSchedule schedule;
    const auto starts = simulate(schedule, 0, 5000, 1000, [](int k) { return k % 3 == 0 ? 0 : 100; });
    std::int64_t now = 5000;
    for (int k = 0; k < 1000; ++k) {
        ASSERT_EQ(starts[k], now) << "frame " << k;
        now += k % 3 == 0 ? 0 : 100;
    }
    EXPECT_EQ(schedule.lateFrames, 0);
}

TEST(FrameWait, EndsAtTheDeadlineOrAtOnceWhenEscComes) {
    TestPresenter& shown = TestPresenter::use();
    const std::int64_t deadline = monotonicNanoseconds() + 30 * millisecond;
    EXPECT_FALSE(waitForEscapeUntil(deadline));
    EXPECT_GE(monotonicNanoseconds(), deadline);

    // A wait of a minute that Esc, pressed by the key reader's thread, ends.
    const std::int64_t before = monotonicNanoseconds();
    std::thread presser([&shown] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        shown.setEscape(true);
    });
    EXPECT_TRUE(waitForEscapeUntil(before + 60 * second));
    presser.join();
    EXPECT_LT(monotonicNanoseconds() - before, 30 * second) << "woken by the key, not by the deadline";
}

TEST(FrameWait, APacedFrameEndsOnItsDeadline) {
    TestPresenter::use();
    openConsoleScreen();
    order = 4;  // a flat scene: the frame's work is short
    startSchedule(frameSchedule, 20, monotonicNanoseconds());
    const std::int64_t due = frameSchedule.anchorNs + second / 20;
    EXPECT_TRUE(finishFrame());
    EXPECT_GE(monotonicNanoseconds(), due);
    startSchedule(frameSchedule, 0, 0);
}
