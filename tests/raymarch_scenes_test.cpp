// The scene fields at their worked example points.
#include <gtest/gtest.h>

#include <cmath>

#include "host/frame_loop.h"
#include "host/frame_state.h"
#include "music/beat_pulses.h"
#include "raymarch/fields.h"
#include "raymarch/marcher.h"

namespace {

class SceneField : public ::testing::Test {
protected:
    void SetUp() override {
        timeMs = 0.0f;
        order = 0;
        pulseA = 0.0f;
        pulseB = 0.0f;
        pulseC = 0.0f;
        beatCount = 0;
        rotX = 1.5f;  // what the marcher sets for scene 2
        rotY = 0.0f;
    }
    void TearDown() override { SetUp(); }

    static float at(float (*field)(), float x, float y, float z) {
        rayPos = {x, y, z};
        return field();
    }
};

TEST_F(SceneField, BeamLatticeAtACornerANodeAndABeamEnd) {
    EXPECT_EQ(at(beamLatticeField, 0, 0, 0), 5.0f);   // the node block lies 5 away on each axis
    EXPECT_EQ(at(beamLatticeField, 8, 8, 8), -3.0f);  // inside the node block
    EXPECT_EQ(at(beamLatticeField, 8, 8, 0), 0.0f);   // where a Z beam meets the cell face
    pulseC = 4.0f;                                    // arms of half-length 11 reach the face
    EXPECT_EQ(at(beamLatticeField, 8, 8, 0), -3.0f);
}

TEST_F(SceneField, BeamLatticeRepeatsEverySixteenUnits) {
    timeMs = -1234.0f;
    const float here = at(beamLatticeField, 3.25f, -1.5f, 40.0f);
    EXPECT_EQ(at(beamLatticeField, 3.25f, -1.5f, 56.0f), here);
}

TEST_F(SceneField, CubeLatticeArmsGrowOnThePulses) {
    EXPECT_EQ(at(cubeLatticeField, 0, 0, 0), 10.0f);
    EXPECT_EQ(at(cubeLatticeField, 16, 16, 16), -6.0f);
    // At rest the arms (half-length 4) stay inside the cube: 2 beyond a face
    // along x measures the cube.
    EXPECT_EQ(at(cubeLatticeField, 24, 16, 16), 2.0f);
    pulseA = 3.0f;
    pulseB = 3.0f;  // arms of half-length 16 reach the cell faces
    EXPECT_EQ(at(cubeLatticeField, 24, 16, 16), -4.0f);
}

TEST_F(SceneField, TorusRingExampleForAnyOrder) {
    for (std::int32_t o : {16, 18, 20, 23, 25}) {
        order = o;
        EXPECT_NEAR(at(torusRingField, 0, 0, 0), 26.28f, 0.005f) << "order " << o;
    }
    pulseC = 4.0f;  // the tube thickens from 3 to 7
    EXPECT_NEAR(at(torusRingField, 0, 0, 0), 22.28f, 0.005f);
}

TEST_F(SceneField, TorusRingTakesOverBeatCountDuringOrdersEighteenToTwentyThree) {
    for (std::int32_t o = 16; o <= 25; ++o) {
        order = o;
        beatCount = 1000;
        at(torusRingField, 1, 2, 3);
        EXPECT_EQ(beatCount.load(), (o >= 18 && o <= 23) ? o : 1000) << "order " << o;
    }
}

TEST_F(SceneField, TorusRingSwayIgnoresPulsesOnlyInItsSpecialOrders) {
    // pulseC thickens the tube (3 + pulseC) and, outside orders 18 to 23,
    // also moves the sway; inside them, raising it by 1 only takes 1 off.
    timeMs = -88123.0f;
    auto thickening = [&](std::int32_t o) {
        order = o;
        pulseC = 0.0f;
        const float thin = at(torusRingField, 14.5f, -7.25f, 12.0f);
        pulseC = 1.0f;
        return thin - at(torusRingField, 14.5f, -7.25f, 12.0f);
    };
    EXPECT_NEAR(thickening(20), 1.0f, 1e-5f);
    EXPECT_GT(std::fabs(thickening(24) - 1.0f), 1e-3f);
}

TEST_F(SceneField, ConeForestExample) {
    EXPECT_NEAR(at(coneField, 0, 0, 0), 11.103f, 0.0005f);
    // Above the cut-off every cone is at least y - 100 away (y after the sway).
    const float d = at(coneField, 3, 160, 5);
    EXPECT_GT(point.y, 100.0f);
    EXPECT_GE(d, point.y - 100.0f);
}

TEST_F(SceneField, ConeSlicesOnlyShowWhilePulseCIsUp) {
    // Slice 0 spans -8 < z < 8; z = 8 starts slice 1. With pulseC at 0 the
    // slice number drops out, and the field is continuous across z = 8.
    timeMs = -120000.0f;
    const float before = at(coneField, 5, 10, 7.999f);
    const float after = at(coneField, 5, 10, 8.0f);
    EXPECT_NEAR(before, after, 0.01f);
    pulseC = 4.0f;
    const float slicedBefore = at(coneField, 5, 10, 7.999f);
    const float slicedAfter = at(coneField, 5, 10, 8.0f);
    EXPECT_GT(std::fabs(slicedBefore - slicedAfter), 0.05f);
}

TEST_F(SceneField, TunnelsAtTheOrigin) {
    EXPECT_EQ(at(ringWaveField, 0, 0, 0), 15.0f);
    EXPECT_FLOAT_EQ(at(torusWaveField, 0, 0, 0), std::sqrt(160.0f) - 6.0f);
    rotX = 0.0f;
    at(ringWaveField, 0, 0, 0);
    EXPECT_EQ(rotX, 1.5f);
}

// Each field keeps what depends only on its inputs from call to call, keyed
// on them. Its value must depend on the inputs of the call alone: changing one
// input must give the value that changing them all gives.
TEST_F(SceneField, ValuesFollowAChangeOfAnyOneInput) {
    // The frame's inputs and the camera angles the marcher leaves for the fields.
    struct Inputs {
        FrameState frame;
        float rx, ry;
    };
    const auto set = [](const Inputs& in) {
        publishFrameState(in.frame);
        rotX = in.rx;
        rotY = in.ry;
    };
    const auto inputs = [](float time, float a, float b, float c, std::int32_t o, float rx, float ry) {
        Inputs in{{}, rx, ry};
        in.frame.timeMs = time;
        in.frame.pulseA = a;
        in.frame.pulseB = b;
        in.frame.pulseC = c;
        in.frame.order = o;
        return in;
    };
    const Inputs base = inputs(-88123.0f, 1.7f, 0.3f, 2.6f, 20, 1.5f, 0.0f);
    const Inputs elsewhere = inputs(-1234.5f, 0.2f, 2.9f, 0.1f, 24, 0.3f, 0.9f);
    float (*const fields[])() = {beamLatticeField, cubeLatticeField, torusRingField,
                                 coneField,        ringWaveField,    torusWaveField};
    for (int f = 0; f < 6; ++f) {
        for (int input = 0; input < 7; ++input) {
            Inputs changed = base;
            float* const floats[] = {&changed.frame.timeMs, &changed.frame.pulseA, &changed.frame.pulseB,
                                     &changed.frame.pulseC, nullptr, &changed.rx, &changed.ry};
            if (floats[input] != nullptr) *floats[input] += 0.75f;
            else changed.frame.order = 22;
            set(base);
            at(fields[f], 3, 4, 5);
            set(changed);
            const float afterOne = at(fields[f], 13.5f, -6.25f, 21.0f);
            set(elsewhere);
            at(fields[f], 3, 4, 5);
            set(changed);
            const float afterAll = at(fields[f], 13.5f, -6.25f, 21.0f);
            EXPECT_EQ(afterOne, afterAll) << "field " << f << ", input " << input;
        }
    }
}

}  // namespace
