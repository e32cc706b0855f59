#include "host/frame_values.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/kernels.h"
#include "raymarch/marcher.h"

namespace {

using kernel::bitsOf;

// The fixed last turn about Z.
const float fixedTurnCos = fcos(1.5f);
const float fixedTurnSin = fsin(1.5f);

// What depends only on the clock, the order, the pulses and the marcher's
// angles, kept from the last call and recomputed when any input's bits change.
struct RingFrame {
    bool valid = false;
    std::uint32_t timeBits = 0;
    std::int32_t order = 0;
    std::uint32_t pulseABits = 0;
    std::uint32_t pulseBBits = 0;
    std::uint32_t pulseCBits = 0;
    std::uint32_t rotXBits = 0;
    std::uint32_t rotYBits = 0;
    float sway = 0;
    float swayCos = 0;
    float swaySin = 0;
    float xCos = 0;
    float xSin = 0;
    float yCos = 0;
    float ySin = 0;
    double t333 = 0;  // timeMs / 333 and so on, as the radius formulas use them
    double t500 = 0;
    double t233 = 0;
    double t430 = 0;
    double pulseBTerm = 0;  // pulseB x 3.4
    double pulseATerm = 0;  // pulseA x 2.5
    float tubeRadius = 0;
} ringFrame;

void prepareRingFrame(float t, std::int32_t o, float pa, float pb, float pc) {
    RingFrame& f = ringFrame;
    f.valid = true;
    f.timeBits = bitsOf(t);
    f.order = o;
    f.pulseABits = bitsOf(pa);
    f.pulseBBits = bitsOf(pb);
    f.pulseCBits = bitsOf(pc);
    f.rotXBits = bitsOf(rotX);
    f.rotYBits = bitsOf(rotY);
    const double td = t;
    if (o >= 18 && o <= 23) {
        f.sway = f32(0.5 * fcos(td / 2700.0) + (0.5 * fsin(td / 3700.0) + 1.5) - o * double(0.9f));
    } else {
        f.sway = f32(0.5 * fcos(double(pc) * double(0.7f) + td / 2700.0 - pa) +
                     (0.5 * fsin(td / 3700.0 - double(pc) * 0.5 + pb) + 1.5));
    }
    f.swayCos = fcos(f.sway);
    f.swaySin = fsin(f.sway);
    f.xCos = fcos(rotX);
    f.xSin = fsin(rotX);
    f.yCos = fcos(rotY);
    f.ySin = fsin(rotY);
    f.t333 = td / 333.0;
    f.t500 = td / 500.0;
    f.t233 = td / 233.0;
    f.t430 = td / 430.0;
    f.pulseBTerm = double(pb) * double(3.4f);
    f.pulseATerm = double(pa) * 2.5;
    f.tubeRadius = f32(3.0 + pc);
}

}  // namespace

// Scene 2: rings folded every 10 units along the swaying X axis, turned so
// they stand one behind the other, breathing with time and y. During orders
// 18 to 23 it also sets beatCount to the order, which picks the colour block.
float torusRingField() {
    const float t = timeMs;
    const std::int32_t o = order;
    const float pa = pulseA.load(std::memory_order_relaxed);
    const float pb = pulseB.load(std::memory_order_relaxed);
    const float pc = pulseC.load(std::memory_order_relaxed);
    if (o >= 18 && o <= 23) beatCount.store(o, std::memory_order_relaxed);
    const RingFrame& f = ringFrame;
    if (!f.valid || f.timeBits != bitsOf(t) || f.order != o || f.pulseABits != bitsOf(pa) ||
        f.pulseBBits != bitsOf(pb) || f.pulseCBits != bitsOf(pc) || f.rotXBits != bitsOf(rotX) ||
        f.rotYBits != bitsOf(rotY)) {
        prepareRingFrame(t, o, pa, pb, pc);
    }
    rotZ = f.sway;
    kernel::rotateZcs(rayPos.x, rayPos.y, rayPos.z, f.swayCos, f.swaySin);
    point.x = f32(double(kernel::remainderOf(f32(double(point.x) + 800.0), 10.0f)) - 5.0);
    kernel::rotateXcs(point.x, point.y, point.z, f.xCos, f.xSin);
    kernel::rotateYcs(point.x, point.y, point.z, f.yCos, f.ySin);
    kernel::rotateZcs(point.x, point.y, point.z, fixedTurnCos, fixedTurnSin);
    const double y = rayPos.y;
    const float c1 = fcos(y * double(0.03f) + f.t333);
    const float s1 = fsin(c1 - f.pulseBTerm + y * double(0.1f) + f.t500);
    const float s2 = fsin(f.t233 + y * double(0.1f));
    const float c2 = fcos(s2 + f.pulseATerm + y * double(0.05f) + f.t430);
    const float ringRadius = f32(double(c2) * 5.0 + (double(s1) * 5.0 + 20.0));
    return kernel::torus(point.x, point.y, point.z, ringRadius, f.tubeRadius);
}
