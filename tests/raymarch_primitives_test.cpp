#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "host/numeric.h"
#include "raymarch/kernels.h"
#include "raymarch/vector_math.h"

namespace {

void expectPoint(float x, float y, float z) {
    EXPECT_NEAR(point.x, x, 1e-6);
    EXPECT_NEAR(point.y, y, 1e-6);
    EXPECT_NEAR(point.z, z, 1e-6);
}

TEST(Rotations, AngleZeroCopiesTheInput) {
    rotateX(1.5f, -2.25f, 3.125f, 0.0f);
    EXPECT_EQ(point.x, 1.5f); EXPECT_EQ(point.y, -2.25f); EXPECT_EQ(point.z, 3.125f);
    rotateY(1.5f, -2.25f, 3.125f, 0.0f);
    EXPECT_EQ(point.x, 1.5f); EXPECT_EQ(point.y, -2.25f); EXPECT_EQ(point.z, 3.125f);
    rotateZ(1.5f, -2.25f, 3.125f, 0.0f);
    EXPECT_EQ(point.x, 1.5f); EXPECT_EQ(point.y, -2.25f); EXPECT_EQ(point.z, 3.125f);
}

TEST(Rotations, QuarterTurnsFollowOneSignPattern) {
    const float quarter = static_cast<float>(M_PI / 2);
    // rotateY turns z towards x; rotateX turns z towards y; rotateZ turns y towards x.
    rotateY(0, 0, 1, quarter); expectPoint(1, 0, 0);
    rotateY(1, 0, 0, quarter); expectPoint(0, 0, -1);
    rotateX(0, 1, 0, quarter); expectPoint(0, 0, -1);
    rotateX(0, 0, 1, quarter); expectPoint(0, 1, 0);
    rotateZ(0, 1, 0, quarter); expectPoint(1, 0, 0);
    rotateZ(1, 0, 0, quarter); expectPoint(0, -1, 0);
}

TEST(Rotations, OneAndAHalfAboutXRoundsSineAndCosineToFloat) {
    const float s = static_cast<float>(std::sin(1.5));
    const float c = static_cast<float>(std::cos(1.5));
    rotateX(0, 0, 1, 1.5f);
    EXPECT_EQ(point.x, 0.0f); EXPECT_EQ(point.y, s); EXPECT_EQ(point.z, c);
    rotateX(0, 1, 0, 1.5f);
    EXPECT_EQ(point.y, c); EXPECT_EQ(point.z, -s);
    // Both products are rounded once, from double: (3 c + 5 s) differs from float math.
    rotateX(7, 3.3f, 5.1f, 1.5f);
    EXPECT_EQ(point.y, static_cast<float>(double(c) * 3.3f + double(s) * 5.1f));
    EXPECT_EQ(point.z, static_cast<float>(double(c) * 5.1f - double(s) * 3.3f));
}

TEST(Rotations, ComponentsOfPointItselfAreTakenBeforeWriting) {
    for (auto rotate : {rotateX, rotateY, rotateZ}) {
        point = {1.25f, -3.5f, 7.75f};
        rotate(1.25f, -3.5f, 7.75f, 0.8f);
        const Vec3 fromCopies = point;
        point = {1.25f, -3.5f, 7.75f};
        rotate(point.x, point.y, point.z, 0.8f);
        EXPECT_EQ(point.x, fromCopies.x); EXPECT_EQ(point.y, fromCopies.y); EXPECT_EQ(point.z, fromCopies.z);
    }
}

TEST(Primitives, BoxIsTheLargestSingleExcess) {
    EXPECT_EQ(sdBox(0, 0, 0, 2, 2, 8), -2.0f);
    EXPECT_EQ(sdBox(3, 3, 9, 2, 2, 8), 1.0f);   // no Euclidean corner term
    EXPECT_EQ(sdBox(-5, 1, 0, 2, 2, 8), 3.0f);  // symmetric in sign
}

TEST(Primitives, Torus) {
    EXPECT_EQ(sdTorus(0, 0, 0, 12, 6), 6.0f);
    EXPECT_EQ(sdTorus(12, 0, 0, 12, 6), -6.0f);
    EXPECT_FLOAT_EQ(sdTorus(0, 4, 0, 12, 6), std::sqrt(160.0f) - 6.0f);
}

TEST(Primitives, Cone) {
    EXPECT_EQ(sdCone(0, 0, 0, 7, 100), -7.0f);
    EXPECT_EQ(sdCone(0, 150, 0, 7, 100), 50.0f);
    EXPECT_EQ(sdCone(10, 0, 0, 7, 100), 3.0f);
    EXPECT_EQ(sdCone(10, 50, 0, 7, 100), 3.5f);  // narrower by 0.5 halfway up
}

TEST(Primitives, Tube) {
    EXPECT_EQ(sdTube(0, 0, 0, 30, 15, 2), 15.0f);
    EXPECT_EQ(sdTube(30, 0, 0, 30, 15, 2), -2.0f);
    EXPECT_EQ(sdTube(30, 5, 0, 30, 15, 2), 3.0f);
    EXPECT_EQ(sdTube(0, 0, 50, 30, 15, 2), 5.0f);
}

// The fields' remainders must be fmod bit for bit, including the sign of zero;
// a NaN's sign is left open (fmod's own differs between libraries).
void expectLibraryRemainder(float a, float m) {
    const float expected = static_cast<float>(std::fmod(double(a), double(m)));
    const bool powerOfTwo = m == 8.0f || m == 16.0f || m == 32.0f;
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(kernel::remainderOf(a, m))) << a << " rem " << m;
        if (powerOfTwo) {
            EXPECT_TRUE(std::isnan(kernel::remainderByPowerOfTwoWithoutBranch(a, m))) << a << " rem " << m;
        }
        return;
    }
    ASSERT_EQ(kernel::bitsOf(kernel::remainderOf(a, m)), kernel::bitsOf(expected)) << a << " rem " << m;
    if (powerOfTwo) {
        ASSERT_EQ(kernel::bitsOf(kernel::remainderByPowerOfTwoWithoutBranch(a, m)), kernel::bitsOf(expected)) << a << " rem " << m;
    }
}

TEST(Remainder, MatchesTheLibraryBitForBit) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> wide(-200000.0f, 200000.0f);
    std::uniform_real_distribution<float> narrow(-40.0f, 40.0f);
    const float periods[] = {8.0f, 10.0f, 16.0f, 32.0f};
    for (int i = 0; i < 400000; ++i) {
        const float a = (i & 1) ? wide(rng) : narrow(rng);
        expectLibraryRemainder(a, periods[i % 4]);
    }
    // Every exponent, subnormals and the largest floats among them.
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t bits = rng();
        float a;
        std::memcpy(&a, &bits, sizeof a);
        expectLibraryRemainder(a, periods[i % 4]);
    }
    const float special[] = {0.0f, -0.0f, -16.0f, 80000.0f, 79999.99f, 1e-30f, -1e-30f, 3e9f, -3e9f,
                             1e38f, std::numeric_limits<float>::infinity(), std::nextafter(10.0f, 0.0f),
                             std::nextafter(80000.0f, 0.0f), 2147483520.0f, -64.0f,
                             std::numeric_limits<float>::quiet_NaN()};
    for (float a : special)
        for (float m : periods) expectLibraryRemainder(a, m);
}

TEST(Remainder, NearMultiplesOfTenAcrossTheFoldRange) {
    // Dividends a hair below each multiple of 10 are where a rounded quotient
    // would go wrong; sweep them through the range the scene-2 fold sees.
    for (int k = 0; k < 20000; ++k) {
        const float m = static_cast<float>(k * 10);
        for (float a : {std::nextafter(m, 0.0f), m, std::nextafter(m, 1e9f)}) {
            const float expected = static_cast<float>(std::fmod(double(a), 10.0));
            ASSERT_EQ(kernel::bitsOf(kernel::remainderOf(a, 10.0f)), kernel::bitsOf(expected)) << a;
        }
    }
}

TEST(Truncation, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(kernel::truncToInt(2.9), 2);
    EXPECT_EQ(kernel::truncToInt(-2.9), -2);
    EXPECT_EQ(kernel::truncToInt(1e20), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(kernel::truncToInt(-1e20), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(kernel::truncToInt(std::nan("")), 0);
}

// fsin and fcos answer without the library wherever they can tell the float,
// and must then give exactly the library's float (bench/float-sine-check
// covers every float; this samples it): floats spread over the whole range,
// the floats nearest the multiples of pi/2 (where the result is smallest or
// closest to 1), zeros of both signs, the smallest floats, the edge of the
// fast range and what lies beyond it.
TEST(FloatSine, GivesTheLibrarysFloatAndRarelyNeedsIt) {
    std::uint64_t calls = 0, toLibrary = 0;
    const auto check = [&](float a) {
        const double x = a;
        float fast;
        for (const bool cosine : {false, true}) {
            ++calls;
            const bool told = cosine ? float_sine::cosOfFloat(x, fast) : float_sine::sinOfFloat(x, fast);
            if (!told) ++toLibrary;
            const float expected = static_cast<float>(cosine ? std::cos(x) : std::sin(x));
            const float got = cosine ? fcos(x) : fsin(x);
            if (std::isnan(expected)) {
                ASSERT_TRUE(std::isnan(got)) << a;
            } else {
                ASSERT_EQ(kernel::bitsOf(got), kernel::bitsOf(expected)) << (cosine ? "cos " : "sin ") << a;
                if (told) {
                    ASSERT_EQ(kernel::bitsOf(fast), kernel::bitsOf(expected)) << a;
                }
            }
        }
    };
    const std::uint32_t limitBits = kernel::bitsOf(1048576.0f);
    for (std::uint32_t bits = 0; bits < limitBits; bits += 617) {
        float a;
        std::memcpy(&a, &bits, sizeof a);
        check(a);
        check(-a);
    }
    for (int k = 1; k < 667000; k += 3) {
        const float near = static_cast<float>(k * 1.5707963267948966);
        for (float a : {std::nextafter(near, 0.0f), near, std::nextafter(near, 2e6f)}) check(a);
    }
    const std::uint64_t spreadCalls = calls, spreadToLibrary = toLibrary;
    EXPECT_LT(double(spreadToLibrary) / double(spreadCalls), 1e-4);
    for (float a : {0.0f, -0.0f, 1e-45f, -1e-45f, 1.17549435e-38f, 1e-20f, 0.78f, 0.7853982f, 1.5707964f,
                    3.1415927f, std::nextafter(1048576.0f, 0.0f), 1048576.0f, 3e9f, -1e38f,
                    std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN()})
        check(a);
}

}  // namespace
