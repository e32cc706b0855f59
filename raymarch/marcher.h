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

void marchCell();
