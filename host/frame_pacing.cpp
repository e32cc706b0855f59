#include "host/frame_pacing.h"

FrameSchedule frameSchedule;

namespace {

constexpr std::int64_t nanosecondsPerSecond = 1000000000;

// Deadline k after the anchor, exact to the nanosecond for any k: the period
// (16 666 666.67 ns at 60) is never rounded and added up.
std::int64_t deadline(const FrameSchedule& schedule, std::int64_t k) {
    return schedule.anchorNs + k * nanosecondsPerSecond / schedule.framesPerSecond;
}

}  // namespace

void startSchedule(FrameSchedule& schedule, std::int32_t framesPerSecond, std::int64_t nowNs) {
    schedule = FrameSchedule{};
    schedule.framesPerSecond = framesPerSecond > 0 ? framesPerSecond : 0;
    schedule.anchorNs = nowNs;
}

std::int64_t nextFrameStart(FrameSchedule& schedule, std::int64_t nowNs) {
    ++schedule.frames;
    if (schedule.framesPerSecond == 0) return nowNs;
    const std::int64_t due = deadline(schedule, schedule.index + 1);
    if (nowNs <= due) {
        ++schedule.index;
        return due;
    }
    ++schedule.lateFrames;
    schedule.anchorNs = nowNs;
    schedule.index = 0;
    return nowNs;
}
