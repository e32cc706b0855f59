// Scene 3: wavy vertical stripes, mirrored about the centre column, that drift
// through the 48 colours and jolt on pulse A and pulse B.
#include <cmath>
#include <cstdint>

#include "art/tables.h"
#include "effects/effects.h"
#include "host/frame_values.h"
#include "host/numeric.h"
#include "host/screen.h"
#include "music/beat_pulses.h"

void stripesCell() {
    const double t = timeMs;
    const double r = static_cast<float>(row);

    // Three row waves bend the row coordinate; the later steps read the bent value.
    const double w1 = fsin(r * 0.05f + t / 333.0);
    const double w2 = fcos(r * 0.1f + t / 233.0);
    const double w3 = fcos(r * 0.07f + t / 433.0);
    cellY = f32(((w1 * 9.0 + w2 * 7.0) - w3 * 5.0) + cellY);
    const double y = cellY;

    // The distance from the centre column makes the picture mirror-symmetric.
    const double ax = std::fabs(cellX);
    const double d = fcos(ax * 0.1f + t / 286.0);
    const double e = fcos(d * 3.0 + (t / 1216.0 + y * 0.05f));
    const double f = fsin(t / 600.0 + y * 0.1f);

    // Pulse B widens the swing of wave f, pulse A turns it over.
    const double a = pulseA.load(std::memory_order_relaxed);
    const double b = pulseB.load(std::memory_order_relaxed);
    const double gain = (b * 3.0 - a * 3.0) * 7.0 + 15.0;

    const double g = fsin(t / 388.0 + y * 0.5);
    // Minus t / 120 adds one stripe step every 120 ms of clock.
    const auto v = static_cast<std::int32_t>((g * 5.0 + ((f * gain + ax) + e * 10.0)) / 3.0 - t / 120.0);

    // tableEntry wraps the negative values of the first seconds into the tables.
    writeCell(row, col, tableEntry(flatGlyphs, v / 6), tableEntry(flatColors48, v));
}
