#pragma once
// The per-frame and per-cell values the frame loop publishes and every scene
// reads, the timeline and the pulse decay.
#include <cstdint>

extern float timeMsStart;     // start stamp, milliseconds, rounded to float
extern double secondsStart;   // start stamp, milliseconds, exact
extern float timeMs;          // timeMsStart minus now: negative, falling
extern double seconds;        // seconds since the start
extern std::int32_t order;    // the song's current order
extern std::int32_t scene;    // scene chosen from order (6 never occurs)
extern std::int32_t row;      // current cell row, 0 to 49
extern std::int32_t col;      // current cell column, 0 to 79
extern float cellX;           // col - 40, scratch for the cell routine
extern float cellY;           // row - 25, scratch for the cell routine

// The timeline: which scene shows at an order.
std::int32_t sceneForOrder(std::int32_t songOrder);

// Lowers each beat pulse by its step while it is above 0.
void decayPulses();
