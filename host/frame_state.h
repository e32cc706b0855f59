#pragma once
// Everything the cells of one frame depend on, and the one way a frame is
// drawn: the program's own cell loop, then its caption step.
#include <cstdint>

#include "host/frame_values.h"  // the timeline: the scene of a state's order

struct FrameState {
    std::int32_t order = 0;      // the song's order; the scene follows from it
    float timeMs = 0;            // the falling millisecond clock (negative while the demo runs)
    double seconds = 0;          // seconds since the start
    float pulseA = 0;            // the beat pulses
    float pulseB = 0;
    float pulseC = 0;
    std::int32_t beatCount = 0;  // instrument triggers so far
    float farLimit = 0;          // the marcher's far limit as the frame starts
    float orderWobble = 0;       // the marcher's order wobble as the frame starts
    bool captions = true;        // false: the scene alone, without the caption step
};

// The far limit the marcher holds at `order` in a run of the song: 0 below
// order 4, where it fades in from the clock, else 96, where the fade-in stops.
float settledFarLimit(std::int32_t order);

// The state the program-wide values hold now.
FrameState currentFrameState();

// Publishes `state` into the program-wide values the scenes read, with the
// scene of its order.
void publishFrameState(const FrameState& state);

// Draws the frame of the values published now: the scene of `order`, then
// the cells row by row, publishing row, col, cellX and cellY before each and
// calling the scene's per-cell routine, then the captions of the order unless
// `captions` is false. The live frame loop draws this way: the pulses and the
// beat count are the sound thread's, set at any moment, and are never written
// back from a copy (a trigger landing in between would be lost).
void drawPublishedFrame(bool captions = true);

// Publishes `state` and draws its frame.
void drawFrame(const FrameState& state);
