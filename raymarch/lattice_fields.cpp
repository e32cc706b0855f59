#include <algorithm>

#include "host/frame_loop.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/marcher.h"

Vec3 boxSize{};
Vec3 cellPos{};

namespace {

void foldIntoCell(float period) {
    const double half = double(period) / 2;
    cellPos.x = f32(double(ffmod(double(point.x) + 80000.0, period)) - half);
    cellPos.y = f32(double(ffmod(double(point.y) + 80000.0, period)) - half);
    cellPos.z = f32(double(ffmod(double(point.z) + 80000.0, period)) - half);
}

float measureBox(const Vec3& p, float hx, float hy, float hz) {
    boxSize = {hx, hy, hz};
    return sdBox(p.x, p.y, p.z, boxSize.x, boxSize.y, boxSize.z);
}

}  // namespace

float beamLatticeField() {
    rotZ = f32(15.0 * fsin(double(timeMs) / 7333.0));
    rotateZ(rayPos.x, rayPos.y, rayPos.z, rotZ);
    foldIntoCell(16.0f);
    const float pc = pulseC.load(std::memory_order_relaxed);
    const float arm = f32(double(pc) + pc + 3.0);
    float d = measureBox(cellPos, 2, 2, 8);
    d = std::min(d, measureBox(cellPos, 8, 2, 2));
    d = std::min(d, measureBox(cellPos, 2, 8, 2));
    d = std::min(d, measureBox(cellPos, 3, 3, arm));
    d = std::min(d, measureBox(cellPos, arm, 3, 3));
    d = std::min(d, measureBox(cellPos, 3, arm, 3));
    return d;
}

float cubeLatticeField() {
    rotZ = f32(15.0 * fsin(double(timeMs) / 6300.0));
    rotateZ(rayPos.x, rayPos.y, rayPos.z, rotZ);
    foldIntoCell(32.0f);
    rotY = f32(double(timeMs) / 331.0);
    rotZ = f32(double(timeMs) / 400.0);
    rotateY(cellPos.x, cellPos.y, cellPos.z, rotY);
    rotateZ(point.x, point.y, point.z, rotZ);
    const float pa = pulseA.load(std::memory_order_relaxed);
    const float pb = pulseB.load(std::memory_order_relaxed);
    const float arm = f32((double(pb) + pa) * 2.0 + 4.0);
    const Vec3 p = point;
    float d = measureBox(p, 6, 6, 6);
    d = std::min(d, measureBox(p, 4, 4, arm));
    d = std::min(d, measureBox(p, 4, arm, 4));
    d = std::min(d, measureBox(p, arm, 4, 4));
    return d;
}
