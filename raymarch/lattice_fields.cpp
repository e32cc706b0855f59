#include "host/frame_values.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/kernels.h"
#include "raymarch/marcher.h"

Vec3 boxSize{};
Vec3 cellPos{};

namespace {

using kernel::bitsOf;

// What depends only on the clock and the pulses, kept from the last call and
// recomputed when any of its inputs' bits change.
struct BeamFrame {
    bool valid = false;
    std::uint32_t timeBits = 0;
    std::uint32_t pulseBits = 0;
    float spin = 0;  // world spin about Z
    float spinCos = 0;
    float spinSin = 0;
    float arm = 0;  // half-length of the node arms
} beamFrame;

struct CubeFrame {
    bool valid = false;
    std::uint32_t timeBits = 0;
    std::uint32_t pulseABits = 0;
    std::uint32_t pulseBBits = 0;
    float worldCos = 0;
    float worldSin = 0;
    float cellSpinY = 0;  // the cube's own spin, about Y then Z
    float cellSpinZ = 0;
    float cellCosY = 0;
    float cellSinY = 0;
    float cellCosZ = 0;
    float cellSinZ = 0;
    float arm = 0;
} cubeFrame;

// Folds `point` into one lattice cell: remainder of (coordinate + 80000) by
// the period, minus half the period.
inline void foldIntoCell(float period, double half) {
    cellPos.x = f32(double(kernel::remainderByPowerOfTwo(f32(double(point.x) + 80000.0), period)) - half);
    cellPos.y = f32(double(kernel::remainderByPowerOfTwo(f32(double(point.y) + 80000.0), period)) - half);
    cellPos.z = f32(double(kernel::remainderByPowerOfTwo(f32(double(point.z) + 80000.0), period)) - half);
}

inline float nearer(float a, float b) { return b < a ? b : a; }

}  // namespace

// Scene 0: a scaffold of square beams along the three axes in cells of 16,
// with a block at every node whose arms stretch on pulseC.
float beamLatticeField() {
    const float t = timeMs;
    const float pc = pulseC.load(std::memory_order_relaxed);
    BeamFrame& f = beamFrame;
    if (!f.valid || f.timeBits != bitsOf(t) || f.pulseBits != bitsOf(pc)) {
        f.valid = true;
        f.timeBits = bitsOf(t);
        f.pulseBits = bitsOf(pc);
        f.spin = f32(15.0 * fsin(double(t) / 7333.0));
        f.spinCos = fcos(f.spin);
        f.spinSin = fsin(f.spin);
        f.arm = f32(double(pc) + pc + 3.0);
    }
    rotZ = f.spin;
    kernel::rotateZcs(rayPos.x, rayPos.y, rayPos.z, f.spinCos, f.spinSin);
    foldIntoCell(16.0f, 8.0);
    const float x = cellPos.x, y = cellPos.y, z = cellPos.z, arm = f.arm;
    float d = kernel::box(x, y, z, 2, 2, 8);
    d = nearer(d, kernel::box(x, y, z, 8, 2, 2));
    d = nearer(d, kernel::box(x, y, z, 2, 8, 2));
    d = nearer(d, kernel::box(x, y, z, 3, 3, arm));
    d = nearer(d, kernel::box(x, y, z, arm, 3, 3));
    d = nearer(d, kernel::box(x, y, z, 3, arm, 3));
    boxSize = {3, arm, 3};  // the last box measured
    return d;
}

// Scene 9: a cube spinning in every cell of 32, with arms that grow on
// pulseA and pulseB.
float cubeLatticeField() {
    const float t = timeMs;
    const float pa = pulseA.load(std::memory_order_relaxed);
    const float pb = pulseB.load(std::memory_order_relaxed);
    CubeFrame& f = cubeFrame;
    if (!f.valid || f.timeBits != bitsOf(t) || f.pulseABits != bitsOf(pa) || f.pulseBBits != bitsOf(pb)) {
        f.valid = true;
        f.timeBits = bitsOf(t);
        f.pulseABits = bitsOf(pa);
        f.pulseBBits = bitsOf(pb);
        const float world = f32(15.0 * fsin(double(t) / 6300.0));
        f.worldCos = fcos(world);
        f.worldSin = fsin(world);
        f.cellSpinY = f32(double(t) / 331.0);
        f.cellSpinZ = f32(double(t) / 400.0);
        f.cellCosY = fcos(f.cellSpinY);
        f.cellSinY = fsin(f.cellSpinY);
        f.cellCosZ = fcos(f.cellSpinZ);
        f.cellSinZ = fsin(f.cellSpinZ);
        f.arm = f32((double(pb) + pa) * 2.0 + 4.0);
    }
    kernel::rotateZcs(rayPos.x, rayPos.y, rayPos.z, f.worldCos, f.worldSin);
    foldIntoCell(32.0f, 16.0);
    rotY = f.cellSpinY;
    rotZ = f.cellSpinZ;
    kernel::rotateYcs(cellPos.x, cellPos.y, cellPos.z, f.cellCosY, f.cellSinY);
    kernel::rotateZcs(point.x, point.y, point.z, f.cellCosZ, f.cellSinZ);
    const float x = point.x, y = point.y, z = point.z, arm = f.arm;
    float d = kernel::box(x, y, z, 6, 6, 6);
    d = nearer(d, kernel::box(x, y, z, 4, 4, arm));
    d = nearer(d, kernel::box(x, y, z, 4, arm, 4));
    d = nearer(d, kernel::box(x, y, z, arm, 4, 4));
    boxSize = {arm, 4, 4};
    return d;
}
