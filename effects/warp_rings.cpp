// Scene 1: concentric rings around a gliding centre, with the ring spacing
// warped by the distances from two other gliding centres.
#include <cstdint>

#include "art/tables.h"
#include "effects/effects.h"
#include "host/frame_loop.h"
#include "host/numeric.h"
#include "host/screen.h"
#include "music/beat_pulses.h"

void warpRingsCell() {
    const double t = timeMs;
    // Pulse C kicks every path forward in phase; A and B shift the warps and the scale.
    const double p = pulseC.load(std::memory_order_relaxed) / 3.0;
    const double a = pulseA.load(std::memory_order_relaxed);
    const double b = pulseB.load(std::memory_order_relaxed);
    const double cx = static_cast<float>(col - 40);
    const double ry = static_cast<float>(row - 25);

    // Distance from the first centre.
    cellX = f32((cx - fsin(p + t / 721.0) * 30.0) - fcos(t / 632.0 + p) * 10.0);
    cellY = f32((ry - fsin(t / 876.0 + p) * 15.0) - fcos(t / 965.0 + p) * 10.0);
    const double r1 = fsqrt(double(cellX) * cellX + double(cellY) * cellY);

    // Coordinates around the second centre, scaled by r1.
    cellX = f32((fsin(t / 366.0 + p) * 30.0 + cx) + fcos(t / 688.0 + p) * 10.0);
    cellY = f32((fsin(t / 755.0 + p) * 15.0 + ry) + fcos(t / 999.0 + p) * 10.0);
    cellX = f32(fsin(t / 2157.0) * (r1 / (fcos(t / 107.0 + cellX - a * 3.0) * 5.0 + 50.0)) * cellX);
    cellY = f32(fcos(t / 1789.0) * (r1 / (fsin(t / 163.0 + cellY - b * 3.0) * 5.0 + 50.0)) * cellY);

    // The ring scale swings between 0.2 and 1.8.
    const float k = f32(double(fsin((a * 0.2f) * 2.0 + t / 2500.0 - (b * 0.2f) * 3.0)) * 0.8f + 1.0);
    const double r2 = f32(double(fsqrt(double(cellX) * cellX + double(cellY) * cellY)) * k);

    // Coordinates around the third centre, scaled by r2; the rings count from here.
    cellX = f32((fsin(t / 1378.0 + p) * 60.0 + cx) - fcos(t / 1356.0 + p) * 20.0);
    cellY = f32((ry - fsin(t / 1874.0 + p) * 30.0) + fcos(t / 1765.0 + p) * 20.0);
    cellX = f32(fcos(t / 1487.0) * (r2 / (fsin(t / 233.0 + cellX) * 5.0 + 50.0)) * cellX);
    cellY = f32(fsin(t / 1934.0) * (r2 / (fcos(t / 277.0 + cellY) * 5.0 + 50.0)) * cellY);

    const auto n = static_cast<std::int32_t>(f32(fsqrt(double(cellX) * cellX + double(cellY) * cellY) / 1.5));
    writeCell(row, col, tableEntry(flatGlyphs, n), tableEntry(flatColors18, n));
}
