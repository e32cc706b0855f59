#pragma once
// Inline arithmetic shared by the public primitives, the scene fields and the
// marcher. The rotations take the cosine and sine of their angle already
// rounded, so a caller whose angle is fixed for a frame computes them once and
// still gets exactly the values the public rotations give.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "host/numeric.h"
#include "raymarch/vector_math.h"

namespace kernel {

inline void rotateXcs(float x, float y, float z, float c, float s) {
    point.x = x;
    point.y = f32(double(c) * y + double(s) * z);
    point.z = f32(double(c) * z - double(s) * y);
}

inline void rotateYcs(float x, float y, float z, float c, float s) {
    point.x = f32(double(c) * x + double(s) * z);
    point.y = y;
    point.z = f32(double(c) * z - double(s) * x);
}

inline void rotateZcs(float x, float y, float z, float c, float s) {
    point.x = f32(double(c) * x + double(s) * y);
    point.y = f32(double(c) * y - double(s) * x);
    point.z = z;
}

inline float box(float px, float py, float pz, float hx, float hy, float hz) {
    const float dx = f32(std::fabs(double(px)) - hx);
    const float dy = f32(std::fabs(double(py)) - hy);
    const float dz = f32(std::fabs(double(pz)) - hz);
    float d = dx;
    if (dy > d) d = dy;
    if (dz > d) d = dz;
    return d;
}

inline float torus(float px, float py, float pz, float ringRadius, float tubeRadius) {
    const float q = f32(double(fsqrt(double(px) * px + double(pz) * pz)) - ringRadius);
    return f32(double(fsqrt(double(q) * q + double(py) * py)) - tubeRadius);
}

inline float cone(float px, float py, float pz, float baseRadius, float height) {
    const double above = double(py) - height;
    const float r = fsqrt(double(px) * px + double(pz) * pz);
    const double side = double(r) - (double(baseRadius) - double(py) / height);
    return f32(above > side ? above : side);
}

inline float tube(float px, float py, float pz, float radius, float halfThickness, float halfHeight) {
    const float fromMiddle = std::fabs(f32(double(fsqrt(double(px) * px + double(pz) * pz)) - radius));
    const double fromWall = double(fromMiddle) - halfThickness;
    const double fromEnds = std::fabs(double(py)) - halfHeight;
    return f32(fromWall > fromEnds ? fromWall : fromEnds);
}

// fmod(a, m) of a float a by a positive period m of at most 32, bit for bit:
// for |a| below 2^31 the quotient a / m, taken in double, truncates to the
// exact integer quotient (a float is at least 2^-24 of itself away from the
// next multiple of m, far more than the double rounding), and a - q * m is
// then exact. The sign of the dividend is kept for a zero remainder, as fmod
// does. Larger or non-finite dividends go to the library.
inline float remainderOf(float a, float m) {
    const double ad = a;
    if (std::fabs(ad) < 2147483648.0) {
        const double q = static_cast<double>(static_cast<std::int64_t>(ad / m));
        return static_cast<float>(std::copysign(ad - q * m, ad));
    }
    return static_cast<float>(std::fmod(ad, double(m)));
}

// fmod(a, m) bit for bit where the period m is a power of two, for every
// float a, without a branch: dividing and multiplying by m only moves the
// exponent, so the quotient trunc(a / m) is exact, q * m is exact and
// a - q * m is the exact remainder; an infinite or NaN dividend gives a NaN,
// as fmod does.
inline float remainderByPowerOfTwoWithoutBranch(float a, float m) {
    const double ad = a;
    return static_cast<float>(std::copysign(ad - std::trunc(ad / m) * m, ad));
}

// The lattice, cone and tunnel folds' remainder (periods 32, 16 and 8). In
// WebAssembly the march steps pay for remainderOf's range test and its
// integer conversion's overflow check (a tenth of the cube lattice's frame
// under V8); natively the branch-free form measured no faster and the
// inlined trunc a little slower, so each build takes its quicker one.
inline float remainderByPowerOfTwo(float a, float m) {
#if defined(__wasm__)
    return remainderByPowerOfTwoWithoutBranch(a, m);
#else
    return remainderOf(a, m);
#endif
}

// Float to integer, truncating toward zero; values outside the 32-bit range
// saturate and NaN gives 0 instead of an undefined conversion.
inline std::int32_t truncToInt(double v) {
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v > -2147483648.0) return static_cast<std::int32_t>(v);
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return 0;
}

// A float's bit pattern, for keying the per-frame caches exactly.
// (memcpy rather than std::bit_cast, which the web build's libc++ 13 lacks;
// compilers make both one move.)
inline std::uint32_t bitsOf(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

}  // namespace kernel
