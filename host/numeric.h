#pragma once
// Rounding helpers for the pictures' arithmetic. Every stored value is a float;
// a formula is evaluated in double and rounded to float where it is stored. The
// argument of every sine, cosine, square root and remainder is rounded to float
// before the call, and so is its result. Write double(x) * y, never x * y on
// two floats: float arithmetic would round every intermediate step.
#include <cmath>

#include "host/float_sine.h"

inline float f32(double x) { return static_cast<float>(x); }

// float(sin(float(x))) and float(cos(float(x))): host/float_sine.h answers
// where it can tell the rounded result, the library everywhere else.
inline float fsin(double x) {
    const double a = static_cast<float>(x);
    float result;
    return float_sine::sinOfFloat(a, result) ? result : static_cast<float>(std::sin(a));
}
inline float fcos(double x) {
    const double a = static_cast<float>(x);
    float result;
    return float_sine::cosOfFloat(a, result) ? result : static_cast<float>(std::cos(a));
}
inline float fsqrt(double x) { return static_cast<float>(std::sqrt(static_cast<double>(static_cast<float>(x)))); }
inline float ffmod(double a, double m) {
    return static_cast<float>(std::fmod(static_cast<double>(static_cast<float>(a)), static_cast<double>(static_cast<float>(m))));
}
