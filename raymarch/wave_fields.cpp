#include "host/frame_loop.h"
#include "host/numeric.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/marcher.h"

namespace {

// The tunnel's common part: turn the sample so the view axis becomes Y, bend X
// and Z by waves that grow with y squared, fold and scroll Y with period 8.
void bendAndFold(double d1, double d2, double d3, double d4) {
    const double t = timeMs;
    rotX = 1.5f;
    rotateX(rayPos.x, rayPos.y, rayPos.z, rotX);
    const double y = point.y;
    const double y1 = y * double(0.1f);
    const double yy = y * y;
    const double pa = double(pulseA.load(std::memory_order_relaxed)) / 5.0;
    const double pb = double(pulseB.load(std::memory_order_relaxed)) / 5.0;
    const double pc = double(pulseC.load(std::memory_order_relaxed)) / 5.0;
    const float s1 = fsin(y1 + t / d1 - pb - pc);
    const float s2 = fsin(t / d2 + y1 + pb + pc);
    const float s3 = fsin(pa + (t / d3 + y1) - pc);
    const float s4 = fsin(t / d4 + y1 - pa + pc);
    point.x = f32((double(s2) * 20.0 + double(s1) * 10.0) * yy * double(0.001f) + point.x);
    point.z = f32((double(s4) * 20.0 + double(s3) * 10.0) * yy * double(0.001f) + point.z);
    const float scrolled = f32(f32(t / 90.0 + point.y) + 80000.0);
    point.y = f32(double(ffmod(scrolled, 8.0)) - 4.0);
}

}  // namespace

float torusWaveField() {
    bendAndFold(430.0, 560.0, 670.0, 360.0);
    return sdTorus(point.x, point.y, point.z, 12.0f, 6.0f);
}

float ringWaveField() {
    bendAndFold(321.0, 489.0, 694.0, 632.0);
    return sdTube(point.x, point.y, point.z, 30.0f, 15.0f, 2.0f);
}
