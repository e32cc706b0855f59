#pragma once
// The per-cell ray marcher of the distance-field scenes 0, 2, 5, 7, 8 and 9.
#include <cstdint>

#include "raymarch/vector_math.h"

extern float farLimit;     // the march goes on while the depth from the camera is below it
extern float orderWobble;  // sin(order x 138.7), taken at orders 18 to 23 and held
extern Vec3 rayDir;
extern Vec3 camPos;
extern Vec3 rayPos;        // the current sample, read by the scene fields
extern float rotX;
extern float rotY;
extern float rotZ;
extern std::int32_t glyphIndex;  // indexes chosen for the last hit
extern std::int32_t colorIndex;

// A march that has taken this many steps without a hit ends with the
// background, as if it had passed the far limit: it guards against rays that
// graze the scene and would otherwise never reach the far limit. Real frames
// of the song stay far below it.
inline constexpr std::int32_t marchStepLimit = 1 << 20;

// Field evaluations made by all marches so far; read by the benchmarks.
extern std::uint64_t marchStepCount;

void marchCell();

// Writes the cell (row, col) for a hit at depth z: glyph and colour indexes
// from z in bands by scene, looked up in the ramp and the scene's colour table.
void shadeHit(float z);
