#include "host/frame_values.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/kernels.h"
#include "raymarch/marcher.h"

namespace {

using kernel::bitsOf;

// The fixed turn about X that makes the view axis the tunnel's Y axis.
const float turnCos = fcos(1.5f);
const float turnSin = fsin(1.5f);

// The time divisors of the four waves of one tunnel and what depends only on
// the clock and the pulses, kept from the last call and recomputed when any
// input's bits change.
struct WaveFrame {
    double d1, d2, d3, d4;
    bool valid = false;
    std::uint32_t timeBits = 0;
    std::uint32_t pulseABits = 0;
    std::uint32_t pulseBBits = 0;
    std::uint32_t pulseCBits = 0;
    double t1 = 0, t2 = 0, t3 = 0, t4 = 0;  // timeMs / D1 and so on
    double scroll = 0;                      // timeMs / 90
    double pa = 0, pb = 0, pc = 0;          // the pulses / 5
};

WaveFrame torusWaves{430.0, 560.0, 670.0, 360.0};
WaveFrame ringWaves{321.0, 489.0, 694.0, 632.0};

// The tunnels' common part: turn the sample so the view axis becomes Y, bend
// X and Z by waves that grow with y squared, fold and scroll Y with period 8.
inline void bendAndFold(WaveFrame& f) {
    const float t = timeMs;
    const float pulseAValue = pulseA.load(std::memory_order_relaxed);
    const float pulseBValue = pulseB.load(std::memory_order_relaxed);
    const float pulseCValue = pulseC.load(std::memory_order_relaxed);
    if (!f.valid || f.timeBits != bitsOf(t) || f.pulseABits != bitsOf(pulseAValue) ||
        f.pulseBBits != bitsOf(pulseBValue) || f.pulseCBits != bitsOf(pulseCValue)) {
        f.valid = true;
        f.timeBits = bitsOf(t);
        f.pulseABits = bitsOf(pulseAValue);
        f.pulseBBits = bitsOf(pulseBValue);
        f.pulseCBits = bitsOf(pulseCValue);
        const double td = t;
        f.t1 = td / f.d1;
        f.t2 = td / f.d2;
        f.t3 = td / f.d3;
        f.t4 = td / f.d4;
        f.scroll = td / 90.0;
        f.pa = double(pulseAValue) / 5.0;
        f.pb = double(pulseBValue) / 5.0;
        f.pc = double(pulseCValue) / 5.0;
    }
    rotX = 1.5f;
    kernel::rotateXcs(rayPos.x, rayPos.y, rayPos.z, turnCos, turnSin);
    const double y = point.y;
    const double y1 = y * double(0.1f);
    const double yy = y * y;
    const float s1 = fsin(y1 + f.t1 - f.pb - f.pc);
    const float s2 = fsin(f.t2 + y1 + f.pb + f.pc);
    const float s3 = fsin(f.pa + (f.t3 + y1) - f.pc);
    const float s4 = fsin(f.t4 + y1 - f.pa + f.pc);
    point.x = f32((double(s2) * 20.0 + double(s1) * 10.0) * yy * double(0.001f) + point.x);
    point.z = f32((double(s4) * 20.0 + double(s3) * 10.0) * yy * double(0.001f) + point.z);
    const float scrolled = f32(f32(f.scroll + point.y) + 80000.0);
    point.y = f32(double(kernel::remainderByPowerOfTwo(scrolled, 8.0f)) - 4.0);
}

}  // namespace

// Scene 8: a snaking tunnel of tori, ring radius 12 and tube radius 6, one
// every 8 units.
float torusWaveField() {
    bendAndFold(torusWaves);
    return kernel::torus(point.x, point.y, point.z, 12.0f, 6.0f);
}

// Scene 7: a snaking tunnel of flat rings, inner radius 15, outer radius 45,
// 4 thick, one every 8 units.
float ringWaveField() {
    bendAndFold(ringWaves);
    return kernel::tube(point.x, point.y, point.z, 30.0f, 15.0f, 2.0f);
}
