// Scene 4: a sine plasma of two nested waves whose colours drift 15 table
// entries per second.
#include <cstdint>

#include "art/tables.h"
#include "effects/effects.h"
#include "host/frame_values.h"
#include "host/numeric.h"
#include "host/screen.h"

void plasmaCell() {
    const double t = timeMs;
    const double x = cellX;
    const double y = cellY;

    // Wave across the columns. The clock multiplies the coordinate, so the
    // spatial frequency of s1 grows as the song goes on.
    const double s1 = fsin(x * t / 1500.0);
    const double p = x / (s1 * 80.0 + 140.0);
    const double c1 = fcos(y / 50.0 + t / 733.0);
    const double s2 = fsin((p - c1) + t / 1700.0);
    const double a = s2 * 12.0 + 24.0;

    // Wave down the rows, built the same way.
    const double c2 = fcos(t * y / 1280.0);
    const double r = y / (c2 * 50.0 + 90.0);
    const double s3 = fsin(t / 988.0 + x / 80.0);
    const double c3 = fcos((s3 + r) + t / 1640.0);

    // The wave part spans 0 to 48; the clock scrolls it through the table.
    const auto v = static_cast<std::int32_t>((c3 * 12.0 + a) + seconds * 15.0);
    std::int32_t i = v % 48;
    if (i < 0) i += 48;  // only for a clock set before the start
    writeCell(row, col, tableEntry(flatGlyphs, i / 8), tableEntry(flatColors48, i));
}
