#include "host/frame_values.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/kernels.h"
#include "raymarch/marcher.h"

namespace {

using kernel::bitsOf;

// What depends only on the clock and the pulses, kept from the last call and
// recomputed when any input's bits change.
struct ConeFrame {
    bool valid = false;
    std::uint32_t timeBits = 0;
    std::uint32_t pulseABits = 0;
    std::uint32_t pulseBBits = 0;
    std::uint32_t pulseCBits = 0;
    float sway = 0;
    float swayCos = 0;
    float swaySin = 0;
    double t233 = 0;  // timeMs / 233 and so on, as the radius formulas use them
    double t310 = 0;
    double t368 = 0;
    double sliceWeight = 0;  // pulseC / 5
    double pulseA = 0;
    double pulseBTerm = 0;  // pulseB x 1.6
} coneFrame;

void prepareConeFrame(float t, float pa, float pb, float pc) {
    ConeFrame& f = coneFrame;
    f.valid = true;
    f.timeBits = bitsOf(t);
    f.pulseABits = bitsOf(pa);
    f.pulseBBits = bitsOf(pb);
    f.pulseCBits = bitsOf(pc);
    const double td = t;
    f.sway = f32(0.5 * fcos(td / 2700.0 + double(pc) * double(0.1f) - double(pa) * double(0.1f)) +
                 0.5 * fsin(td / 3700.0 - double(pc) * double(0.1f) + double(pb) * double(0.1f)));
    f.swayCos = fcos(f.sway);
    f.swaySin = fsin(f.sway);
    f.t233 = td / 233.0;
    f.t310 = td / 310.0;
    f.t368 = td / 368.0;
    f.sliceWeight = double(pc) / 5.0;
    f.pulseA = pa;
    f.pulseBTerm = double(pb) * double(1.6f);
}

}  // namespace

// Scene 5: a cone in the middle of every 32 x 32 square of XZ, swaying about
// the view axis; its radius waves with time and y, and in depth slices of 8
// while pulseC is up.
float coneField() {
    const float t = timeMs;
    const float pa = pulseA.load(std::memory_order_relaxed);
    const float pb = pulseB.load(std::memory_order_relaxed);
    const float pc = pulseC.load(std::memory_order_relaxed);
    const ConeFrame& f = coneFrame;
    if (!f.valid || f.timeBits != bitsOf(t) || f.pulseABits != bitsOf(pa) || f.pulseBBits != bitsOf(pb) ||
        f.pulseCBits != bitsOf(pc)) {
        prepareConeFrame(t, pa, pb, pc);
    }
    rotZ = f.sway;
    kernel::rotateZcs(rayPos.x, rayPos.y, rayPos.z, f.swayCos, f.swaySin);
    point.x = f32(double(kernel::remainderByPowerOfTwo(f32(double(point.x) + 800.0), 32.0f)) - 16.0);
    point.z = f32(double(kernel::remainderByPowerOfTwo(f32(double(point.z) + 800.0), 32.0f)) - 16.0);
    const std::int32_t slice = kernel::truncToInt(rayPos.z) / 8;
    const double y = rayPos.y;
    const float c1 = fcos(slice * f.sliceWeight + (y * double(0.1f) + f.t233));
    const float s1 = fsin(c1 + ((y * double(0.2f) + f.pulseA) + f.t310));
    const float c2 = fcos(y * double(0.05f) + f.pulseBTerm + f.t368);
    const float baseRadius = f32(double(c2) * 2.0 + (double(s1) * 3.0 + 7.0));
    return kernel::cone(point.x, point.y, point.z, baseRadius, 100.0f);
}
