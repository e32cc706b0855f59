#include "host/frame_loop.h"

#include <cstdio>
#include <string>

#include "art/captions.h"
#include "effects/effects.h"
#include "host/numeric.h"
#include "host/screen.h"
#include "music/music.h"
#include "platform/keyboard.h"
#include "platform/sound_library.h"
#include "platform/terminal_session.h"
#include "platform/timer.h"
#include "raymarch/marcher.h"

namespace {

using CellRoutine = void (*)();

// The per-cell routine of each scene; scene 6 never occurs.
CellRoutine routineForScene(std::int32_t s) {
    switch (s) {
        case 1: return warpRingsCell;
        case 3: return stripesCell;
        case 4: return plasmaCell;
        default: return marchCell;
    }
}

}  // namespace

void drawCells() {
    const CellRoutine routine = routineForScene(scene);
    for (row = 0; row < 50; ++row) {
        const float rowValue = static_cast<float>(row - 25.0);
        for (col = 0; col < 80; ++col) {
            // Published again before every cell: the routines use them as scratch.
            cellX = static_cast<float>(col - 40.0);
            cellY = rowValue;
            routine();
        }
    }
}

double timerMilliseconds(std::uint32_t reading) {
    const auto asSigned = static_cast<std::int32_t>(reading);
    double value = asSigned;
    if (asSigned < 0) value += 4294967296.0;
    return value;
}

bool startDemo() {
    openConsoleScreen();
    // Both clocks are stamped before the song loads: loading counts as time.
    timeMsStart = f32(timerMilliseconds(timeGetTime()));
    secondsStart = timerMilliseconds(timeGetTime());
    if (initMusic() != 0) return false;
    FMUSIC_PlaySong(song);
    return true;
}

void readFrameClocks() {
    timeMs = f32(double(timeMsStart) - timerMilliseconds(timeGetTime()));
    seconds = (timerMilliseconds(timeGetTime()) - secondsStart) * double(0.001f);
}

bool runFrame() {
    readFrameClocks();
    scene = 0;
    order = FMUSIC_GetOrder(song);
    return finishFrame();
}

bool finishFrame() {
    scene = sceneForOrder(order);
    drawCells();
    drawCaptions();
    presentScreen();
    decayPulses();
    // Past order 40 the song is over, whatever the key says.
    if (order >= 41) return false;
    return GetAsyncKeyState(VK_ESCAPE) == 0;
}

void endDemo() {
    FSOUND_DSP_Free(dspUnit);
    FMUSIC_FreeSong(song);
    restoreTerminal();
    const std::string problem = soundOutputProblem();
    if (!problem.empty()) std::fprintf(stderr, "The song played without sound: %s\n", problem.c_str());
}

int runDemo() {
    if (!startDemo()) {
        // The message has been shown; going on would play a silent demo that
        // never ends and report success.
        restoreTerminal();
        return 1;
    }
    while (runFrame()) {
    }
    endDemo();
    return 0;
}
