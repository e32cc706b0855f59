#include "raymarch/marcher.h"

float farLimit = 0.0f;
float orderWobble = 0.0f;
Vec3 rayDir{};
Vec3 camPos{};
Vec3 rayPos{};
float rotX = 0.0f;
float rotY = 0.0f;
float rotZ = 0.0f;

void marchCell() {}
