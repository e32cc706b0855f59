#include "raymarch/vector_math.h"

#include "host/numeric.h"
#include "raymarch/kernels.h"

Vec3 point{};

// Each rotation takes the cosine first and the sine second, both rounded to
// float; the inputs arrive by value, so `point`'s own components may be passed.
void rotateX(float x, float y, float z, float angle) {
    const float c = fcos(angle);
    kernel::rotateXcs(x, y, z, c, fsin(angle));
}

void rotateY(float x, float y, float z, float angle) {
    const float c = fcos(angle);
    kernel::rotateYcs(x, y, z, c, fsin(angle));
}

void rotateZ(float x, float y, float z, float angle) {
    const float c = fcos(angle);
    kernel::rotateZcs(x, y, z, c, fsin(angle));
}

float sdBox(float px, float py, float pz, float hx, float hy, float hz) {
    return kernel::box(px, py, pz, hx, hy, hz);
}

float sdTorus(float px, float py, float pz, float ringRadius, float tubeRadius) {
    return kernel::torus(px, py, pz, ringRadius, tubeRadius);
}

float sdCone(float px, float py, float pz, float baseRadius, float height) {
    return kernel::cone(px, py, pz, baseRadius, height);
}

float sdTube(float px, float py, float pz, float radius, float halfThickness, float halfHeight) {
    return kernel::tube(px, py, pz, radius, halfThickness, halfHeight);
}
