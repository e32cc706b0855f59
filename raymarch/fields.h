#pragma once
// The six scene distance fields: each reads rayPos and returns the distance to
// the nearest surface (negative inside).
#include "raymarch/vector_math.h"

extern Vec3 boxSize;  // half-extents handed to sdBox by the lattice fields
extern Vec3 cellPos;  // the sample folded into one lattice cell

float beamLatticeField();  // scene 0, orders 0 to 3:    raymarch/lattice_fields.cpp
float cubeLatticeField();  // scene 9, orders 12 to 15:  raymarch/lattice_fields.cpp
float torusRingField();    // scene 2, orders 16 to 25:  raymarch/torus_ring_field.cpp
float coneField();         // scene 5, orders 28 to 31:  raymarch/cone_field.cpp
float torusWaveField();    // scene 8, orders 32 to 37:  raymarch/wave_fields.cpp
float ringWaveField();     // scene 7, orders 38 on:     raymarch/wave_fields.cpp
