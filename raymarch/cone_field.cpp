#include "host/frame_loop.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/kernels.h"
#include "raymarch/marcher.h"

float coneField() {
    const float pa = pulseA.load(std::memory_order_relaxed);
    const float pb = pulseB.load(std::memory_order_relaxed);
    const float pc = pulseC.load(std::memory_order_relaxed);
    const double t = timeMs;
    rotZ = f32(0.5 * fcos(t / 2700.0 + double(pc) * double(0.1f) - double(pa) * double(0.1f)) +
               0.5 * fsin(t / 3700.0 - double(pc) * double(0.1f) + double(pb) * double(0.1f)));
    rotateZ(rayPos.x, rayPos.y, rayPos.z, rotZ);
    point.x = f32(double(ffmod(double(point.x) + 800.0, 32.0)) - 16.0);
    point.z = f32(double(ffmod(double(point.z) + 800.0, 32.0)) - 16.0);
    const std::int32_t slice = kernel::truncToInt(rayPos.z) / 8;
    const double y = rayPos.y;
    const float c1 = fcos(slice * (double(pc) / 5.0) + (y * double(0.1f) + t / 233.0));
    const float s1 = fsin(c1 + ((y * double(0.2f) + pa) + t / 310.0));
    const float c2 = fcos(y * double(0.05f) + double(pb) * double(1.6f) + t / 368.0);
    const float baseRadius = f32(double(c2) * 2.0 + (double(s1) * 3.0 + 7.0));
    return sdCone(point.x, point.y, point.z, baseRadius, 100.0f);
}
