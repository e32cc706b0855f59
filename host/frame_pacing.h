#pragma once
// The schedule frames are paced to: deadline k = anchor + k / fps seconds on a
// monotonic clock, taken absolutely so that no drift builds up. A frame that
// ends after its deadline starts the next one at once and the schedule starts
// again from that moment, so a slow frame is never followed by a burst of
// catch-up frames. At 0 frames per second there is no schedule: frames run
// back to back.
#include <cstdint>

struct FrameSchedule {
    std::int32_t framesPerSecond = 0;  // 0: back to back
    std::int64_t anchorNs = 0;         // time of deadline 0
    std::int64_t index = 0;            // deadlines met since the anchor
    std::int64_t frames = 0;           // frames ended
    std::int64_t lateFrames = 0;       // frames that ended after their deadline
};

// Starts the schedule at `nowNs`, the start of the first frame.
void startSchedule(FrameSchedule& schedule, std::int32_t framesPerSecond, std::int64_t nowNs);

// A frame ended at `nowNs`: moves the schedule on and returns when the next
// frame is to start; `nowNs` itself when it is to start at once.
std::int64_t nextFrameStart(FrameSchedule& schedule, std::int64_t nowNs);

// The program's schedule, set up by the frame loop.
extern FrameSchedule frameSchedule;
