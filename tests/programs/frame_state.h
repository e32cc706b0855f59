#pragma once
#include <string>

// Draws the frame a STATE describes into screenCells: "black" (every cell
// blank) or order,timeMs,seconds,pulseA,pulseB,pulseC,beatCount,captions(0|1).
// False when STATE is neither.
bool drawFrameState(const std::string& state);
