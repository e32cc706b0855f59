#pragma once
// Rotations and distance primitives of the distance-field scenes.

struct Vec3 {
    float x;
    float y;
    float z;
};

// The work vector every rotation writes its result into.
extern Vec3 point;

void rotateX(float x, float y, float z, float angle);
void rotateY(float x, float y, float z, float angle);
void rotateZ(float x, float y, float z, float angle);

float sdBox(float px, float py, float pz, float hx, float hy, float hz);
float sdTorus(float px, float py, float pz, float ringRadius, float tubeRadius);
float sdCone(float px, float py, float pz, float baseRadius, float height);
float sdTube(float px, float py, float pz, float radius, float halfThickness, float halfHeight);
