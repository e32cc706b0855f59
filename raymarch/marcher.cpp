#include "raymarch/marcher.h"

#include <cmath>

#include "art/tables.h"
#include "host/frame_values.h"
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

using kernel::bitsOf;

// A sine of a float argument, kept from the last call with the same argument.
struct SineMemo {
    bool valid = false;
    std::uint32_t argumentBits = 0;
    float value = 0;

    float of(float argument) {
        if (!valid || argumentBits != bitsOf(argument)) {
            valid = true;
            argumentBits = bitsOf(argument);
            value = fsin(argument);
        }
        return value;
    }
};

SineMemo fadeInSine;
SineMemo fadeOutSine;
SineMemo wobbleSine;

// The camera of one scene at one clock value: its angles with their cosines
// and sines, and its depth. Kept from the last call and recomputed when the
// scene, the clock or the wobble changes.
struct CameraFrame {
    bool valid = false;
    std::int32_t scene = 0;
    std::uint32_t timeBits = 0;
    std::uint32_t wobbleBits = 0;
    float angleX = 0;  // rotX after the turn; for scene 2, the turn's own angle
    float angleY = 0;
    float cosX = 0;
    float sinX = 0;
    float cosY = 0;
    float sinY = 0;
    float depth = 0;
} camera;

void prepareCamera(std::int32_t s, float time, float wobble) {
    CameraFrame& c = camera;
    c.valid = true;
    c.scene = s;
    c.timeBits = bitsOf(time);
    c.wobbleBits = bitsOf(wobble);
    const double t = time;
    double z0 = 0.0;
    c.angleX = c.angleY = 0.0f;
    switch (s) {
        case 0:
            c.angleX = f32(double(0.7f) * fcos(t / 1100.0));
            c.angleY = f32(double(0.7f) * fsin(t / 1700.0));
            z0 = 200.0 * fsin(t / 5000.0);
            break;
        case 2:
            c.angleX = f32(double(0.7f) * fsin(t / 1700.0));
            z0 = (20.0 * fsin(t / 1000.0) - 60.0) + 20.0 * double(wobble);
            break;
        case 5:
        case 9:
            c.angleX = f32(double(0.6f) * fcos(t / 1900.0));
            c.angleY = f32(double(0.7f) * fsin(t / 1500.0));
            z0 = s == 5 ? 12.0 : 400.0 * fsin(t / 6000.0);
            break;
        default: break;
    }
    c.cosX = fcos(c.angleX);
    c.sinX = fsin(c.angleX);
    c.cosY = fcos(c.angleY);
    c.sinY = fsin(c.angleY);
    c.depth = f32(z0);
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

    // The far limit fades in over the first orders and out over the last.
    if (order < 4 || order > 38) {
        const double s = f32(seconds);
        if (order < 4 && farLimit < 96.0f) farLimit = f32(97.0 * fadeInSine.of(f32(s * 0.25 - 1.0)));
        if (order > 38 && farLimit > 0.0f) farLimit = f32(128.0 * fadeOutSine.of(f32(s * 0.25)));
    }

    writeCell(row, col, marchGlyphs[7], marchColorsA[3]);

    // The wobble only moves the scene-2 camera, but is taken whatever the scene.
    if (order >= 18 && order <= 23) orderWobble = wobbleSine.of(f32(order * double(138.7f)));

    const float time = timeMs;
    if (!camera.valid || camera.scene != scene || camera.timeBits != bitsOf(time) ||
        camera.wobbleBits != bitsOf(orderWobble)) {
        prepareCamera(scene, time, orderWobble);
    }

    // View ray through the cell, turned by the scene's camera.
    rayDir = {f32(cellX / 40.0), f32(cellY / 40.0), 1.0f};
    switch (scene) {
        case 0:
        case 5:
        case 9:
            rotX = camera.angleX;
            rotY = camera.angleY;
            kernel::rotateXcs(rayDir.x, rayDir.y, rayDir.z, camera.cosX, camera.sinX);
            kernel::rotateYcs(point.x, point.y, point.z, camera.cosY, camera.sinY);
            rayDir = point;
            break;
        case 2:
            kernel::rotateXcs(rayDir.x, rayDir.y, rayDir.z, camera.cosX, camera.sinX);
            rayDir = point;
            rotX = 1.5f;
            rotY = 0.0f;
            break;
        default: break;
    }
    camPos = {0.0f, 0.0f, camera.depth};

    // Sphere tracing: step by the field's distance until within 0.1 of a
    // surface, past the far limit in depth, Esc, or the step limit.
    float rayT = 1.0f;
    float d = 0.0001f;
    const double dirX = rayDir.x, dirY = rayDir.y, dirZ = rayDir.z, camZ = camPos.z;
    const float limit = farLimit;
    for (std::int32_t step = 0; step < marchStepLimit; ++step) {
        rayT = f32(double(rayT) + d);
        rayPos.x = f32(dirX * rayT + 0.0f);
        rayPos.y = f32(dirY * rayT + 0.0f);
        rayPos.z = f32(dirZ * rayT + camZ);
        ++marchStepCount;
        d = field();
        // The hit test comes before the far test: a hit beyond the far limit
        // is still shaded.
        if (d < 0.1f) {
            shadeHit(rayPos.z);
            return;
        }
        if (GetAsyncKeyState(VK_ESCAPE) != 0) return;
        if (!(f32(std::fabs(double(rayPos.z) - camZ)) < limit)) return;
    }
}
