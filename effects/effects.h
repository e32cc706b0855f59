#pragma once
// The flat scenes: each writes the cell (row, col) straight from its position
// and the clock, with no ray marching.

void warpRingsCell();  // scene 1, orders 4 to 7:   effects/warp_rings.cpp
void stripesCell();    // scene 3, orders 8 to 11:  effects/stripes.cpp
void plasmaCell();     // scene 4, orders 26, 27:   effects/plasma.cpp
