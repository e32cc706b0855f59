#include "host/frame_loop.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/marcher.h"

float torusRingField() {
    const float pa = pulseA.load(std::memory_order_relaxed);
    const float pb = pulseB.load(std::memory_order_relaxed);
    const float pc = pulseC.load(std::memory_order_relaxed);
    const double t = timeMs;
    if (order >= 18 && order <= 23) {
        beatCount.store(order, std::memory_order_relaxed);
        rotZ = f32(0.5 * fcos(t / 2700.0) + (0.5 * fsin(t / 3700.0) + 1.5) - order * double(0.9f));
    } else {
        rotZ = f32(0.5 * fcos(double(pc) * double(0.7f) + t / 2700.0 - pa) +
                   (0.5 * fsin(t / 3700.0 - double(pc) * 0.5 + pb) + 1.5));
    }
    rotateZ(rayPos.x, rayPos.y, rayPos.z, rotZ);
    point.x = f32(double(ffmod(double(point.x) + 800.0, 10.0)) - 5.0);
    rotateX(point.x, point.y, point.z, rotX);
    rotateY(point.x, point.y, point.z, rotY);
    rotateZ(point.x, point.y, point.z, 1.5f);
    const double y = rayPos.y;
    const float c1 = fcos(y * double(0.03f) + t / 333.0);
    const float s1 = fsin(c1 - double(pb) * double(3.4f) + y * double(0.1f) + t / 500.0);
    const float s2 = fsin(t / 233.0 + y * double(0.1f));
    const float c2 = fcos(s2 + double(pa) * 2.5 + y * double(0.05f) + t / 430.0);
    const float ringRadius = f32(double(c2) * 5.0 + (double(s1) * 5.0 + 20.0));
    const float tubeRadius = f32(3.0 + pc);
    return sdTorus(point.x, point.y, point.z, ringRadius, tubeRadius);
}
