#include "raymarch/vector_math.h"

Vec3 point{};

void rotateX(float, float, float, float) {}
void rotateY(float, float, float, float) {}
void rotateZ(float, float, float, float) {}
float sdBox(float, float, float, float, float, float) { return 0.0f; }
float sdTorus(float, float, float, float, float) { return 0.0f; }
float sdCone(float, float, float, float, float) { return 0.0f; }
float sdTube(float, float, float, float, float, float) { return 0.0f; }
