#pragma once
// Per-frame and per-cell values of the frame loop, the timeline and the loop.
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

// Visits the 4000 cells row by row, publishing row, col, cellX and cellY
// before each, and calls the per-cell routine of `scene`.
void drawCells();

// Lowers each beat pulse by its step while it is above 0.
void decayPulses();

// The unsigned millisecond count a timer reading stands for: the reading taken
// as a signed 32-bit value, plus 2^32 when that is negative.
double timerMilliseconds(std::uint32_t reading);

// The start: opens the screen, stamps both clocks, sets up the music and
// starts the song. False when the song could not be loaded.
bool startDemo();

// Frame steps 1 and 2: timeMs and seconds from two fresh timer readings.
void readFrameClocks();

// One whole frame. True to go on with the next one.
bool runFrame();

// The frame from the moment `order` has been read: the scene, the cells, the
// captions, the present, the pulse decay and the loop test. True to go on.
bool finishFrame();

// After the last frame: frees the DSP unit and the song, hands the terminal
// back and says on stderr if the song played in silence.
void endDemo();

// The whole program: opens the screen, plays the song, runs frames until the
// order passes 40 or Esc. Returns the exit status.
int runDemo();
