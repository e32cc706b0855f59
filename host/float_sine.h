#pragma once
// The sine and cosine of a float argument, rounded to float, exactly as
// float(std::sin(x)) and float(std::cos(x)) give them, in a fraction of the
// library's time.
//
// How: the argument is reduced by pi/2 in double (Cody-Waite, pi/2 in three
// parts, so that for |x| < 2^20 the reduced argument is within 2^-52 of itself
// plus 2^-99), a polynomial gives the sine or cosine of it in double, and the
// result is kept only if every double within a generous bound of it rounds to
// the same float: the true value lies inside that bound, and so does the
// library's, which is within an ulp of the true value. Where the bound reaches
// across a rounding boundary of float (a few calls in 100,000), or the argument
// is large or not finite, the library answers. Plain IEEE double arithmetic
// throughout: no fused multiply-add (the build passes -ffp-contract=off).
#include <cmath>
#include <cstdint>
#include <cstring>

namespace float_sine {

// 2/pi, and pi/2 as 33 + 33 + 53 bits (fdlibm's invpio2, pio2_1, pio2_2,
// pio2_2t): n x pio2_1 and n x pio2_2 are exact for n below 2^20.
inline constexpr double twoOverPi = 6.36619772367581382433e-01;
inline constexpr double halfPi1 = 1.57079632673412561417e+00;
inline constexpr double halfPi2 = 6.07710050630396597660e-11;
inline constexpr double halfPi2Tail = 2.02226624879595063154e-21;
// Adding and subtracting 1.5 x 2^52 rounds a double below 2^51 to an integer
// and leaves that integer in the low bits of the sum.
inline constexpr double roundingShift = 6755399441055744.0;
// Arguments from here on (and NaN, infinities) go to the library.
inline constexpr double fastLimit = 1048576.0;  // 2^20

// Minimax polynomials on [-pi/4, pi/4] (fdlibm's __kernel_sin and
// __kernel_cos, each within 2^-58 of the function), evaluated in pairs of
// terms (Estrin) so that fewer operations wait on each other.
inline double sinKernel(double r) {
    const double z = r * r;
    const double w = z * z;
    const double a = -1.66666666666666324348e-01 + z * 8.33333333332248946124e-03;
    const double b = -1.98412698298579493134e-04 + z * 2.75573137070700676789e-06;
    const double c = -2.50507602534068634195e-08 + z * 1.58969099521155010221e-10;
    return r + (r * z) * (a + w * (b + w * c));
}

inline double cosKernel(double r) {
    const double z = r * r;
    const double w = z * z;
    const double a = 4.16666666666666019037e-02 + z * -1.38888888888741095749e-03;
    const double b = 2.48015872894767294178e-05 + z * -2.75573143513906633035e-07;
    const double c = 2.08757232129817482790e-09 + z * -1.13596475577881948265e-11;
    return (1.0 - 0.5 * z) + w * (a + w * (b + w * c));
}

// Rounds d to float if every double within its error bound rounds alike.
// The bound: 2^-40 of |d| (the kernels and the reduction are within 2^-49)
// plus 2^-90 where the argument was reduced (the reduction's absolute error
// is below 2^-98). The result does not wait for the test, which almost
// always passes.
inline bool roundIfClear(double d, bool reduced, float& out) {
    const double bound = std::fabs(d) * 0x1p-40 + (reduced ? 0x1p-90 : 0.0);
    const float low = static_cast<float>(d - bound);
    const float high = static_cast<float>(d + bound);
    std::uint32_t lowBits, highBits;
    std::memcpy(&lowBits, &low, sizeof lowBits);
    std::memcpy(&highBits, &high, sizeof highBits);
    out = static_cast<float>(d);
    return lowBits == highBits;
}

// The reduced argument r = x - n pi/2 and n mod 4, for a float x with
// |x| < 2^20. x - n pio2_1 is exact (Sterbenz), the rest rounds once each.
inline double reduce(double x, std::uint32_t& quadrant) {
    const double shifted = x * twoOverPi + roundingShift;
    std::uint64_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    quadrant = static_cast<std::uint32_t>(bits) & 3u;
    const double n = shifted - roundingShift;
    return ((x - n * halfPi1) - n * halfPi2) - n * halfPi2Tail;
}

// float(sin(x)) for x already a float's value, if it can be told without the
// library; false otherwise.
// (A zero goes to the library too: the kernel would lose the sign of -0.)
inline bool sinOfFloat(double x, float& out) {
    if (!(std::fabs(x) < fastLimit) || x == 0) return false;
    std::uint32_t q;
    const double r = reduce(x, q);
    double d = (q & 1u) ? cosKernel(r) : sinKernel(r);
    if (q & 2u) d = -d;
    return roundIfClear(d, std::fabs(x) > 0.78, out);
}

inline bool cosOfFloat(double x, float& out) {
    if (!(std::fabs(x) < fastLimit)) return false;
    std::uint32_t q;
    const double r = reduce(x, q);
    double d = (q & 1u) ? sinKernel(r) : cosKernel(r);
    if ((q + 1u) & 2u) d = -d;
    return roundIfClear(d, std::fabs(x) > 0.78, out);
}

}  // namespace float_sine
