// Scene 1: concentric rings around a gliding centre, with the ring spacing
// warped by the distances from two other gliding centres.
#include <cstdint>
#include <cstring>

#include "art/tables.h"
#include "effects/effects.h"
#include "host/frame_values.h"
#include "host/numeric.h"
#include "host/screen.h"
#include "music/beat_pulses.h"

namespace {

// The path and warp terms depend only on the clock and the pulses, not on the
// cell. They are kept from the previous cell and recomputed whenever one of
// those four values differs from the last cell's, bit for bit, so a pulse that
// changes in the middle of a frame takes effect at the very next cell.
struct FrameTerms {
    std::uint32_t key[4];
    bool valid;
    // First centre.
    float s721, c632, s876, c965;
    // Second centre and the warp by r1.
    float s366, c688, s755, c999, s2157, c1789;
    double ringScale;  // not a coordinate or a distance: kept in double
    // Third centre and the warp by r2.
    float s1378, c1356, s1874, c1765, c1487, s1934;
};

FrameTerms terms;

std::uint32_t bitsOf(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

void updateTerms(float tf, float pa, float pb, float pc) {
    const std::uint32_t key[4] = {bitsOf(tf), bitsOf(pa), bitsOf(pb), bitsOf(pc)};
    if (terms.valid && std::memcmp(key, terms.key, sizeof key) == 0) return;
    std::memcpy(terms.key, key, sizeof key);
    terms.valid = true;

    const double t = tf;
    const double a = pa, b = pb;
    const double p = pc / 3.0;  // pulse C kicks every path forward in phase
    terms.s721 = fsin(p + t / 721.0);
    terms.c632 = fcos(t / 632.0 + p);
    terms.s876 = fsin(t / 876.0 + p);
    terms.c965 = fcos(t / 965.0 + p);
    terms.s366 = fsin(t / 366.0 + p);
    terms.c688 = fcos(t / 688.0 + p);
    terms.s755 = fsin(t / 755.0 + p);
    terms.c999 = fcos(t / 999.0 + p);
    terms.s2157 = fsin(t / 2157.0);
    terms.c1789 = fcos(t / 1789.0);
    // The ring scale swings between 0.2 and 1.8 with the clock and pulses A and B.
    terms.ringScale = double(fsin((a * 0.2f) * 2.0 + t / 2500.0 - (b * 0.2f) * 3.0)) * 0.8f + 1.0;
    terms.s1378 = fsin(t / 1378.0 + p);
    terms.c1356 = fcos(t / 1356.0 + p);
    terms.s1874 = fsin(t / 1874.0 + p);
    terms.c1765 = fcos(t / 1765.0 + p);
    terms.c1487 = fcos(t / 1487.0);
    terms.s1934 = fsin(t / 1934.0);
}

}  // namespace

void warpRingsCell() {
    const float pa = pulseA.load(std::memory_order_relaxed);
    const float pb = pulseB.load(std::memory_order_relaxed);
    const float pc = pulseC.load(std::memory_order_relaxed);
    updateTerms(timeMs, pa, pb, pc);
    const FrameTerms& f = terms;
    const double t = timeMs;
    const double a = pa, b = pb;
    const double cx = static_cast<float>(col - 40);
    const double ry = static_cast<float>(row - 25);

    // Distance from the first centre.
    cellX = f32((cx - double(f.s721) * 30.0) - double(f.c632) * 10.0);
    cellY = f32((ry - double(f.s876) * 15.0) - double(f.c965) * 10.0);
    const double r1 = fsqrt(double(cellX) * cellX + double(cellY) * cellY);

    // Coordinates around the second centre, scaled by r1.
    cellX = f32((double(f.s366) * 30.0 + cx) + double(f.c688) * 10.0);
    cellY = f32((double(f.s755) * 15.0 + ry) + double(f.c999) * 10.0);
    cellX = f32(double(f.s2157) * (r1 / (fcos(t / 107.0 + cellX - a * 3.0) * 5.0 + 50.0)) * cellX);
    cellY = f32(double(f.c1789) * (r1 / (fsin(t / 163.0 + cellY - b * 3.0) * 5.0 + 50.0)) * cellY);
    const double r2 = f32(double(fsqrt(double(cellX) * cellX + double(cellY) * cellY)) * f.ringScale);

    // Coordinates around the third centre, scaled by r2; the rings count from here.
    cellX = f32((double(f.s1378) * 60.0 + cx) - double(f.c1356) * 20.0);
    cellY = f32((ry - double(f.s1874) * 30.0) + double(f.c1765) * 20.0);
    cellX = f32(double(f.c1487) * (r2 / (fsin(t / 233.0 + cellX) * 5.0 + 50.0)) * cellX);
    cellY = f32(double(f.s1934) * (r2 / (fcos(t / 277.0 + cellY) * 5.0 + 50.0)) * cellY);

    const auto n = static_cast<std::int32_t>(f32(fsqrt(double(cellX) * cellX + double(cellY) * cellY) / 1.5));
    writeCell(row, col, tableEntry(flatGlyphs, n), tableEntry(flatColors18, n));
}
