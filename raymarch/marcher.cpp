#include "raymarch/marcher.h"

#include <cmath>

#include "art/tables.h"
#include "host/frame_loop.h"
#include "host/numeric.h"
#include "host/screen.h"
#include "music/beat_pulses.h"
#include "platform/keyboard.h"
#include "raymarch/fields.h"
#include "raymarch/kernels.h"

float farLimit = 0.0f;
float orderWobble = 0.0f;
Vec3 rayDir{};
Vec3 camPos{};
Vec3 rayPos{};
float rotX = 0.0f;
float rotY = 0.0f;
float rotZ = 0.0f;
std::int32_t glyphIndex = 0;
std::int32_t colorIndex = 0;
std::uint64_t marchStepCount = 0;

namespace {

using Field = float (*)();

Field fieldForScene(std::int32_t s) {
    switch (s) {
        case 0: return beamLatticeField;
        case 2: return torusRingField;
        case 5: return coneField;
        case 7: return ringWaveField;
        case 8: return torusWaveField;
        case 9: return cubeLatticeField;
        default: return nullptr;
    }
}

// Turns the view ray about X by rotX, then about Y by rotY.
void turnRayXThenY() {
    rotateX(rayDir.x, rayDir.y, rayDir.z, rotX);
    rotateY(point.x, point.y, point.z, rotY);
    rayDir = point;
}

}  // namespace

void shadeHit(float hitZ) {
    using kernel::truncToInt;
    const double z = hitZ;
    const std::int32_t(*colors)[32] = &marchColorsC;
    switch (scene) {
        case 0:
            colorIndex = truncToInt((z + 2000.0) * 0.5 - double(1.4f));
            glyphIndex = truncToInt(z + 2004.0);
            colors = &marchColorsB;
            break;
        case 2:
            colorIndex = beatCount.load(std::memory_order_relaxed) % 4 * 8 + truncToInt((z + 40.0) / 12.0);
            glyphIndex = truncToInt((z + 40.0) / 16.0);
            colors = &marchColorsA;
            break;
        case 5:
            colorIndex = beatCount.load(std::memory_order_relaxed) % 4 * 8 + truncToInt((z + 800.0) / 4.0) - 1;
            glyphIndex = truncToInt((z + 800.0) / 4.0);
            break;
        case 9:
            colorIndex = truncToInt(z + 800.0) / 4;
            glyphIndex = colorIndex;
            colors = &marchColorsD;
            break;
        default:  // the tunnels, scenes 7 and 8
            colorIndex = truncToInt(z - double(timeMs) / 90.0);
            glyphIndex = colorIndex;
            break;
    }
    writeCell(row, col, tableEntry(marchGlyphs, glyphIndex), tableEntry(*colors, colorIndex));
}

void marchCell() {
    const Field field = fieldForScene(scene);
    if (field == nullptr) return;
    const double t = timeMs;
    const double s = f32(seconds);

    // The far limit fades in over the first orders and out over the last.
    if (order < 4 && farLimit < 96.0f) farLimit = f32(97.0 * fsin(s * 0.25 - 1.0));
    if (order > 38 && farLimit > 0.0f) farLimit = f32(128.0 * fsin(s * 0.25));

    writeCell(row, col, marchGlyphs[7], marchColorsA[3]);

    rayDir = {f32(cellX / 40.0), f32(cellY / 40.0), 1.0f};
    switch (scene) {
        case 0:
            rotX = f32(double(0.7f) * fcos(t / 1100.0));
            rotY = f32(double(0.7f) * fsin(t / 1700.0));
            turnRayXThenY();
            break;
        case 2:
            rotateX(rayDir.x, rayDir.y, rayDir.z, f32(double(0.7f) * fsin(t / 1700.0)));
            rayDir = point;
            rotX = 1.5f;
            rotY = 0.0f;
            break;
        case 5:
        case 9:
            rotX = f32(double(0.6f) * fcos(t / 1900.0));
            rotY = f32(double(0.7f) * fsin(t / 1500.0));
            turnRayXThenY();
            break;
        default: break;
    }

    if (order >= 18 && order <= 23) orderWobble = fsin(order * double(138.7f));

    double z0 = 0.0;
    switch (scene) {
        case 0: z0 = 200.0 * fsin(t / 5000.0); break;
        case 2: z0 = (20.0 * fsin(t / 1000.0) - 60.0) + 20.0 * double(orderWobble); break;
        case 5: z0 = 12.0; break;
        case 9: z0 = 400.0 * fsin(t / 6000.0); break;
        default: break;
    }
    camPos = {0.0f, 0.0f, f32(z0)};

    float rayT = 1.0f;
    float d = 0.0001f;
    for (std::int32_t step = 0; step < marchStepLimit; ++step) {
        rayT = f32(double(rayT) + d);
        rayPos.x = f32(double(rayDir.x) * rayT + camPos.x);
        rayPos.y = f32(double(rayDir.y) * rayT + camPos.y);
        rayPos.z = f32(double(rayDir.z) * rayT + camPos.z);
        ++marchStepCount;
        d = field();
        // The hit test comes before the far test: a hit beyond the far limit
        // is still shaded.
        if (d < 0.1f) {
            shadeHit(rayPos.z);
            return;
        }
        if (GetAsyncKeyState(VK_ESCAPE) != 0) return;
        if (!(f32(std::fabs(double(rayPos.z) - camPos.z)) < farLimit)) return;
    }
}
