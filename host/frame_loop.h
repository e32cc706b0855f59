#pragma once
// The frame loop: the clocks, one frame, the whole run. The values it
// publishes are in frame_values.h, how a frame is drawn in frame_state.h.
#include <cstdint>

#include "host/frame_state.h"
#include "host/frame_values.h"

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
// captions, the present, the pulse decay, the wait for the frame's deadline
// (none once the song is over, or when frameSchedule runs frames back to
// back; Esc cuts it short) and the loop test. True to go on.
bool finishFrame();

// After the last frame: frees the DSP unit and the song, closes the
// presenter (hands the terminal back) and says on stderr if the song played in silence.
void endDemo();

// How the program was asked to run.
struct DemoSettings {
    std::int32_t framesPerSecond = 60;  // 0: frames back to back
    const char* songPath = "QUILLOW3.oxm";
    bool printStats = false;            // a line of frame figures on stderr at the end
    std::int32_t audioDelayMs = 0;      // song events shown this much later than heard
};

// The whole program, on the presenter chosen before (choosePresenter) or the
// system's default: opens the screen, plays the song, runs frames until the
// order passes 40 or Esc. Returns the exit status.
int runDemo(const DemoSettings& settings);
