// The renderer against a plain transcription of its formulas: whole frames of
// every distance-field scene, at several clock values and pulse levels, must
// come out identical cell for cell, together with the state the marcher and
// the fields leave behind. The transcription below evaluates everything per
// call, with no per-frame caching and the library's fmod.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "art/tables.h"
#include "host/frame_loop.h"
#include "host/numeric.h"
#include "host/screen.h"
#include "music/beat_pulses.h"
#include "platform/keyboard.h"
#include "raymarch/fields.h"
#include "raymarch/kernels.h"
#include "raymarch/marcher.h"

namespace reference {




void foldIntoCell(float period) {
    const double half = double(period) / 2;
    cellPos.x = f32(double(ffmod(double(point.x) + 80000.0, period)) - half);
    cellPos.y = f32(double(ffmod(double(point.y) + 80000.0, period)) - half);
    cellPos.z = f32(double(ffmod(double(point.z) + 80000.0, period)) - half);
}

float measureBox(const Vec3& p, float hx, float hy, float hz) {
    boxSize = {hx, hy, hz};
    return sdBox(p.x, p.y, p.z, boxSize.x, boxSize.y, boxSize.z);
}


float beamLatticeField() {
    rotZ = f32(15.0 * fsin(double(timeMs) / 7333.0));
    rotateZ(rayPos.x, rayPos.y, rayPos.z, rotZ);
    foldIntoCell(16.0f);
    const float pc = pulseC.load(std::memory_order_relaxed);
    const float arm = f32(double(pc) + pc + 3.0);
    float d = measureBox(cellPos, 2, 2, 8);
    d = std::min(d, measureBox(cellPos, 8, 2, 2));
    d = std::min(d, measureBox(cellPos, 2, 8, 2));
    d = std::min(d, measureBox(cellPos, 3, 3, arm));
    d = std::min(d, measureBox(cellPos, arm, 3, 3));
    d = std::min(d, measureBox(cellPos, 3, arm, 3));
    return d;
}

float cubeLatticeField() {
    rotZ = f32(15.0 * fsin(double(timeMs) / 6300.0));
    rotateZ(rayPos.x, rayPos.y, rayPos.z, rotZ);
    foldIntoCell(32.0f);
    rotY = f32(double(timeMs) / 331.0);
    rotZ = f32(double(timeMs) / 400.0);
    rotateY(cellPos.x, cellPos.y, cellPos.z, rotY);
    rotateZ(point.x, point.y, point.z, rotZ);
    const float pa = pulseA.load(std::memory_order_relaxed);
    const float pb = pulseB.load(std::memory_order_relaxed);
    const float arm = f32((double(pb) + pa) * 2.0 + 4.0);
    const Vec3 p = point;
    float d = measureBox(p, 6, 6, 6);
    d = std::min(d, measureBox(p, 4, 4, arm));
    d = std::min(d, measureBox(p, 4, arm, 4));
    d = std::min(d, measureBox(p, arm, 4, 4));
    return d;
}


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


float torusWaveField() {
    bendAndFold(430.0, 560.0, 670.0, 360.0);
    return sdTorus(point.x, point.y, point.z, 12.0f, 6.0f);
}

float ringWaveField() {
    bendAndFold(321.0, 489.0, 694.0, 632.0);
    return sdTube(point.x, point.y, point.z, 30.0f, 15.0f, 2.0f);
}

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

// Glyph and colour from the depth of the hit sample, in bands per scene.
void shadeHit(double t) {
    using kernel::truncToInt;
    const double z = rayPos.z;
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
            colorIndex = truncToInt(z - t / 90.0);
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
        d = field();
        // The hit test comes before the far test: a hit beyond the far limit
        // is still shaded.
        if (d < 0.1f) {
            shadeHit(t);
            return;
        }
        if (GetAsyncKeyState(VK_ESCAPE) != 0) return;
        if (!(f32(std::fabs(double(rayPos.z) - camPos.z)) < farLimit)) return;
    }
}

}  // namespace reference

namespace {

struct Cell {
    char glyph;
    WORD attribute;
    bool operator==(const Cell&) const = default;
};

struct Pulses {
    float a, b, c;
};

struct FrameInput {
    std::int32_t scene;
    std::int32_t order;
    float timeMs;
    double seconds;
    float farLimit;
    Pulses pulses;
    Pulses laterPulses;     // set from cell `changeAt` on, as a trigger during the frame would
    int changeAt;           // 4000: no change
    std::int32_t beatCount;
    float orderWobble;
};

struct FrameOutput {
    Cell cells[4000];
    float farLimit;
    float orderWobble;
    std::int32_t beatCount;
    std::uint64_t steps;
    float scratch[23];  // the program-wide vectors and angles as the last cell left them
    std::int32_t indexes[2];
};

void setPulses(const Pulses& p) {
    pulseA = p.a;
    pulseB = p.b;
    pulseC = p.c;
}

// Runs the cells in the frame loop's order with `routine`, from the same start.
FrameOutput render(const FrameInput& in, void (*routine)()) {
    for (CHAR_INFO& c : screenCells) {
        c.Char.AsciiChar = 'X';
        c.Attributes = 0x77;
    }
    scene = in.scene;
    order = in.order;
    timeMs = in.timeMs;
    seconds = in.seconds;
    farLimit = in.farLimit;
    orderWobble = in.orderWobble;
    beatCount = in.beatCount;
    setPulses(in.pulses);
    rotX = rotY = rotZ = 0.0f;
    point = rayPos = rayDir = camPos = cellPos = boxSize = Vec3{0.0f, 0.0f, 0.0f};
    glyphIndex = colorIndex = 0;
    const std::uint64_t stepsBefore = marchStepCount;
    int index = 0;
    for (row = 0; row < 50; ++row) {
        for (col = 0; col < 80; ++col, ++index) {
            if (index == in.changeAt) {
                setPulses(in.laterPulses);
                beatCount.fetch_add(3);
            }
            cellX = static_cast<float>(col - 40.0);
            cellY = static_cast<float>(row - 25.0);
            routine();
        }
    }
    FrameOutput out{};
    for (int i = 0; i < 4000; ++i) out.cells[i] = {screenCells[i].Char.AsciiChar, screenCells[i].Attributes};
    out.farLimit = farLimit;
    out.orderWobble = orderWobble;
    out.beatCount = beatCount;
    out.steps = marchStepCount - stepsBefore;
    const float scratch[23] = {point.x,   point.y,   point.z,   rayPos.x,  rayPos.y,  rayPos.z,  rayDir.x, rayDir.y,
                               rayDir.z,  camPos.x,  camPos.y,  camPos.z,  cellPos.x, cellPos.y, cellPos.z, boxSize.x,
                               boxSize.y, boxSize.z, rotX,      rotY,      rotZ,      farLimit,  orderWobble};
    std::copy(std::begin(scratch), std::end(scratch), out.scratch);
    out.indexes[0] = glyphIndex;
    out.indexes[1] = colorIndex;
    return out;
}

struct SceneSpan {
    std::int32_t scene;
    std::int32_t firstOrder;
    std::int32_t lastOrder;
};

constexpr SceneSpan spans[] = {{0, 0, 3}, {9, 12, 15}, {2, 16, 25}, {5, 28, 31}, {8, 32, 37}, {7, 38, 40}};
constexpr Pulses rest{-0.0999999f, -0.0999999f, -0.1999999f};
constexpr Pulses full{3.0f, 3.0f, 4.0f};
constexpr Pulses mixed{1.7f, 0.3f, 2.6f};

// Compares the frames cell by cell and reports the first few differences.
void expectSameFrame(const FrameInput& in) {
    static FrameOutput fast, plain;
    fast = render(in, marchCell);
    const std::uint64_t fastSteps = fast.steps;
    plain = render(in, reference::marchCell);
    int differences = 0;
    for (int i = 0; i < 4000; ++i) {
        if (fast.cells[i] == plain.cells[i]) continue;
        if (++differences <= 3)
            ADD_FAILURE() << "scene " << in.scene << " order " << in.order << " timeMs " << in.timeMs << " cell row "
                          << i / 80 << " col " << i % 80 << ": glyph " << int(fast.cells[i].glyph) << " vs "
                          << int(plain.cells[i].glyph) << ", colour " << fast.cells[i].attribute << " vs "
                          << plain.cells[i].attribute;
    }
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(kernel::bitsOf(fast.farLimit), kernel::bitsOf(plain.farLimit));
    EXPECT_EQ(kernel::bitsOf(fast.orderWobble), kernel::bitsOf(plain.orderWobble));
    EXPECT_EQ(fast.beatCount, plain.beatCount);
    for (int i = 0; i < 23; ++i)
        EXPECT_EQ(kernel::bitsOf(fast.scratch[i]), kernel::bitsOf(plain.scratch[i])) << "shared value " << i;
    EXPECT_EQ(fast.indexes[0], plain.indexes[0]);
    EXPECT_EQ(fast.indexes[1], plain.indexes[1]);
    if (fast.farLimit > 1.0f) {
        EXPECT_GT(fastSteps, 4000u) << "scene " << in.scene << " marched nothing";
    }
}

TEST(RendererAgainstTranscription, EveryDistanceFieldSceneAtManyTimesAndPulses) {
    for (const SceneSpan& span : spans) {
        const double first = span.firstOrder * 4400.0;
        const double last = (span.lastOrder + 1) * 4400.0;
        for (int i = 0; i < 9; ++i) {
            const double ms = first + (last - first) * (i + 0.37) / 9.0;
            const auto o = static_cast<std::int32_t>(ms / 4400.0);
            for (const Pulses& p : {rest, full, mixed}) {
                FrameInput in{span.scene, o, f32(-ms), ms / 1000.0, 96.0f, p, p, 4000, 41, 0.3f};
                expectSameFrame(in);
            }
        }
    }
}

TEST(RendererAgainstTranscription, ClockAtZeroAndFarLimitFades) {
    for (const SceneSpan& span : spans) {
        expectSameFrame({span.scene, span.firstOrder, 0.0f, 0.0, 96.0f, rest, rest, 4000, 0, 0.0f});
    }
    // Fade-in from 0 at several seconds, including the step that crosses 96.
    for (double s : {0.5, 4.0, 6.3, 9.0, 9.72, 12.0}) {
        expectSameFrame({0, 2, f32(-s * 1000.0), s, 0.0f, full, full, 4000, 5, 0.0f});
        expectSameFrame({0, 3, f32(-s * 1000.0), s, 60.0f, rest, rest, 4000, 5, 0.0f});
    }
    // Fade-out at orders 39 and 40, from the held value and from a low one.
    for (double s : {170.0, 171.5, 176.0, 180.3}) {
        expectSameFrame({7, 39, f32(-s * 1000.0), s, 96.5f, rest, rest, 4000, 5, 0.0f});
        expectSameFrame({7, 40, f32(-s * 1000.0), s, 3.0f, mixed, mixed, 4000, 5, 0.0f});
    }
}

TEST(RendererAgainstTranscription, PulsesAndBeatsChangingDuringTheFrame) {
    for (const SceneSpan& span : spans) {
        const double ms = (span.firstOrder + 0.6) * 4400.0;
        for (int changeAt : {1, 1717, 3999}) {
            expectSameFrame({span.scene, span.firstOrder, f32(-ms), ms / 1000.0, 96.0f, rest, full, changeAt, 9, 0.5f});
            expectSameFrame({span.scene, span.firstOrder, f32(-ms), ms / 1000.0, 96.0f, mixed, rest, changeAt, 9, 0.5f});
        }
    }
    // Scene 2 through the orders whose field takes over beatCount.
    for (std::int32_t o = 16; o <= 25; ++o) {
        const double ms = (o + 0.5) * 4400.0;
        expectSameFrame({2, o, f32(-ms), ms / 1000.0, 96.0f, mixed, full, 2000, 101, -0.4f});
    }
}

// Field by field, with one input changed at random before every call: every
// value a field keeps from call to call must follow each of its inputs.
TEST(FieldsAgainstTranscription, FollowEveryInputFromCallToCall) {
    struct Pair {
        float (*fast)();
        float (*plain)();
        const char* name;
    };
    const Pair pairs[] = {{beamLatticeField, reference::beamLatticeField, "beam lattice"},
                          {cubeLatticeField, reference::cubeLatticeField, "cube lattice"},
                          {torusRingField, reference::torusRingField, "torus rings"},
                          {coneField, reference::coneField, "cone forest"},
                          {torusWaveField, reference::torusWaveField, "torus tunnel"},
                          {ringWaveField, reference::ringWaveField, "ring tunnel"}};
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> position(-150.0f, 150.0f);
    std::uniform_real_distribution<float> clock(-185000.0f, 0.0f);
    std::uniform_real_distribution<float> pulse(-0.2f, 4.0f);
    std::uniform_real_distribution<float> angle(-2.0f, 2.0f);
    std::uniform_int_distribution<int> which(0, 8);
    std::uniform_int_distribution<int> orders(14, 26);
    for (const Pair& pair : pairs) {
        timeMs = clock(rng);
        order = 20;
        rotX = 1.5f;
        rotY = 0.0f;
        pulseA = pulseB = pulseC = 0.0f;
        rayPos = {1, 2, 3};
        int mismatches = 0;
        for (int i = 0; i < 30000; ++i) {
            switch (which(rng)) {
                case 0: timeMs = clock(rng); break;
                case 1: pulseA = pulse(rng); break;
                case 2: pulseB = pulse(rng); break;
                case 3: pulseC = pulse(rng); break;
                case 4: order = orders(rng); break;
                case 5: rotX = angle(rng); break;
                case 6: rotY = angle(rng); break;
                default: break;
            }
            rayPos = {position(rng), position(rng), position(rng)};
            const float inX = rotX, inY = rotY;
            beatCount = 5;
            const float fast = pair.fast();
            const Vec3 fastPoint = point;
            const float fastRotZ = rotZ, fastRotY = rotY, fastRotX = rotX;
            const std::int32_t fastBeat = beatCount;
            rotX = inX;
            rotY = inY;
            beatCount = 5;
            const float plain = pair.plain();
            const bool same = kernel::bitsOf(fast) == kernel::bitsOf(plain) &&
                              kernel::bitsOf(fastPoint.x) == kernel::bitsOf(point.x) &&
                              kernel::bitsOf(fastPoint.y) == kernel::bitsOf(point.y) &&
                              kernel::bitsOf(fastPoint.z) == kernel::bitsOf(point.z) &&
                              kernel::bitsOf(fastRotZ) == kernel::bitsOf(rotZ) &&
                              kernel::bitsOf(fastRotY) == kernel::bitsOf(rotY) &&
                              kernel::bitsOf(fastRotX) == kernel::bitsOf(rotX) && fastBeat == beatCount;
            if (!same && ++mismatches <= 3)
                ADD_FAILURE() << pair.name << " call " << i << ": " << fast << " vs " << plain;
        }
        EXPECT_EQ(mismatches, 0) << pair.name;
    }
    pulseA = pulseB = pulseC = 0.0f;
    beatCount = 0;
}

}  // namespace
