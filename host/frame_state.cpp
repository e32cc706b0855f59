#include "host/frame_state.h"

#include "art/captions.h"
#include "effects/effects.h"
#include "host/frame_values.h"
#include "music/beat_pulses.h"
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

}  // namespace

float settledFarLimit(std::int32_t songOrder) { return songOrder < 4 ? 0.0f : 96.0f; }

FrameState currentFrameState() {
    FrameState s;
    s.order = order;
    s.timeMs = timeMs;
    s.seconds = seconds;
    s.pulseA = pulseA.load();
    s.pulseB = pulseB.load();
    s.pulseC = pulseC.load();
    s.beatCount = beatCount.load();
    s.farLimit = farLimit;
    s.orderWobble = orderWobble;
    return s;
}

void publishFrameState(const FrameState& s) {
    order = s.order;
    scene = sceneForOrder(s.order);
    timeMs = s.timeMs;
    seconds = s.seconds;
    pulseA = s.pulseA;
    pulseB = s.pulseB;
    pulseC = s.pulseC;
    beatCount = s.beatCount;
    farLimit = s.farLimit;
    orderWobble = s.orderWobble;
}

void drawPublishedFrame(bool captions) {
    scene = sceneForOrder(order);
    drawCells();
    if (captions) drawCaptions();
}

void drawFrame(const FrameState& state) {
    publishFrameState(state);
    drawPublishedFrame(state.captions);
}
