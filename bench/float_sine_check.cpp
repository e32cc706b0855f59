// float-sine-check: fsin and fcos (host/numeric.h) against the library for
// every float below 2^20 in magnitude, the whole range where host/float_sine.h
// answers without the library (above it, and for infinities and NaN, fsin and
// fcos are the library call). Prints the mismatches (there must be none), how
// often the library had to answer, how close the double results came to the
// library's, and what one call costs each way.
//
//   float-sine-check [STRIDE]   (default 1: every float; 97 checks every 97th)
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "host/numeric.h"

namespace {

float floatOf(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::uint32_t bitsOf(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The double the fast path rounds, before its rounding test.
double fastDouble(double x, bool cosine) {
    std::uint32_t q;
    const double r = float_sine::reduce(x, q);
    if (cosine) {
        const double d = (q & 1u) ? float_sine::sinKernel(r) : float_sine::cosKernel(r);
        return ((q + 1u) & 2u) ? -d : d;
    }
    const double d = (q & 1u) ? float_sine::cosKernel(r) : float_sine::sinKernel(r);
    return (q & 2u) ? -d : d;
}

struct Tally {
    std::uint64_t checked = 0;
    std::uint64_t fallbacks = 0;
    std::uint64_t mismatches = 0;
    double worstRelative = 0;  // |fast double - library double| / |library double|
};

void check(bool cosine, std::uint32_t stride, Tally& t) {
    const std::uint32_t limitBits = bitsOf(float(float_sine::fastLimit));
    for (std::uint32_t sign = 0; sign < 2; ++sign) {
        for (std::uint32_t bits = 0; bits < limitBits; bits += stride) {
            const double x = floatOf(bits | (sign << 31));
            const double library = cosine ? std::cos(x) : std::sin(x);
            float fast;
            const bool told = cosine ? float_sine::cosOfFloat(x, fast) : float_sine::sinOfFloat(x, fast);
            ++t.checked;
            if (!told) {
                ++t.fallbacks;
            } else if (bitsOf(fast) != bitsOf(static_cast<float>(library))) {
                if (++t.mismatches <= 10)
                    std::printf("  MISMATCH %s(%a): %a, library %a\n", cosine ? "cos" : "sin", x, double(fast),
                                double(static_cast<float>(library)));
            }
            if (library != 0) {
                const double rel = std::fabs(fastDouble(x, cosine) - library) / std::fabs(library);
                if (rel > t.worstRelative) t.worstRelative = rel;
            }
        }
    }
}

template <class F>
double nanosecondsPerCall(F f) {
    // Arguments like the scenes' sine arguments: spread over [-2000, 2000].
    static float arguments[1 << 16];
    for (std::size_t i = 0; i < std::size(arguments); ++i)
        arguments[i] = static_cast<float>(-2000.0 + 4000.0 * std::fmod(i * 0.6180339887, 1.0));
    constexpr int rounds = 64;
    float acc = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (int k = 0; k < rounds; ++k)
        for (const float a : arguments) acc += f(a);
    const auto end = std::chrono::steady_clock::now();
    volatile float sink = acc;
    (void)sink;
    return std::chrono::duration<double, std::nano>(end - begin).count() / (rounds * std::size(arguments));
}

}  // namespace

int main(int argc, char** argv) {
    const long stride = argc > 1 ? std::atol(argv[1]) : 1;
    if (stride < 1) {
        std::fprintf(stderr, "float-sine-check: bad stride\n");
        return 1;
    }
    bool fine = true;
    for (const bool cosine : {false, true}) {
        Tally t;
        const auto begin = std::chrono::steady_clock::now();
        check(cosine, static_cast<std::uint32_t>(stride), t);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        std::printf("%s: %llu floats with |x| < 2^20, %llu mismatches, %llu to the library (%.2e), "
                    "worst relative difference 2^%.1f (%.0f s)\n",
                    cosine ? "cos" : "sin", static_cast<unsigned long long>(t.checked),
                    static_cast<unsigned long long>(t.mismatches), static_cast<unsigned long long>(t.fallbacks),
                    double(t.fallbacks) / double(t.checked), std::log2(t.worstRelative), s);
        fine = fine && t.mismatches == 0;
    }
    const double library = nanosecondsPerCall([](double x) { return static_cast<float>(std::sin(double(float(x)))); });
    const double fast = nanosecondsPerCall([](double x) { return fsin(x); });
    std::printf("one sine of an argument in [-2000, 2000]: library %.1f ns, fsin %.1f ns\n", library, fast);
    return fine ? 0 : 1;
}
