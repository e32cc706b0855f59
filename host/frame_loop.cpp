#include "host/frame_loop.h"

#include "effects/effects.h"
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

int runDemo() { return 0; }
