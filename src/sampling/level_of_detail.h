// The level of detail of a footprint: log2 of its minor radius, formed as the natural
// logarithm rounded to float (logFloat), times log2(e) in double, rounded to float. The
// logarithm is computed here for a fraction of the C library's cost, with its bits: the
// radius, a float of 0.5 and up, is split into a mantissa m in [sqrt(1/2), sqrt(2)) and an
// exponent e; ln(m) = 2 atanh(f) with f = (m - 1) / (m + 1) is summed in double to f^21, and
// e ln 2 added in two parts, so the double is within about one unit in its last place of the
// true logarithm. Rounded to float that gives the library's float wherever the double lies
// clear of the midpoint between two floats; within 2^-48 of one, and outside 0.5 .. 2048 (which
// the sampler's radii never leave), the library decides. A check of every float from 0.5 to
// 2048 against the C library found no difference (docs/performance.md).
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/lanes.h"
#include "sampling/float_math.h"

constexpr float kFastLogLow = 0.5f;
constexpr float kFastLogHigh = 2048.0f;
constexpr double kLog2OfE = 1.442695040888963;

// ln(m 2^e) for m in [sqrt(1/2), sqrt(2)), in double or in lanes of doubles.
template <typename T>
inline T logOfReduced(T m, T e) {
    constexpr double kLn2High = 6.93147180369123816490e-01;  // ln 2 to 32 bits: e kLn2High is exact
    constexpr double kLn2Low = 1.90821492927058770002e-10;
    T f = (m - 1.0) / (m + 1.0);
    T f2 = f * f;
    // 2 (1/3 + f^2/5 + ... + f^18/21), by Horner's rule from the highest power.
    constexpr double kTerms[] = {2.0 / 17, 2.0 / 15, 2.0 / 13, 2.0 / 11, 2.0 / 9, 2.0 / 7, 2.0 / 5, 2.0 / 3};
    T s = f2 * (2.0 / 21) + 2.0 / 19;
    for (double term : kTerms) s = s * f2 + term;
    T logM = f * 2.0 + (f * f2) * s;
    return e * kLn2High + (logM + e * kLn2Low);
}

// Whether d, a double close to a logarithm, rounds to `rounded` clear of the midpoints between
// it and its neighbouring floats: closer than 2^-48 of d to one, a logarithm of a slightly
// different error could round the other way.
inline bool roundsClearly(double d, float rounded) {
    uint32_t bits;
    std::memcpy(&bits, &rounded, sizeof bits);
    uint32_t upBits = bits + 1, downBits = bits - 1;
    float up, down;
    std::memcpy(&up, &upBits, sizeof up);
    std::memcpy(&down, &downBits, sizeof down);
    double tolerance = (d < 0.0 ? -d : d) * 0x1p-48;
    double toUp = d - (static_cast<double>(rounded) + static_cast<double>(up)) * 0.5;
    double toDown = d - (static_cast<double>(rounded) + static_cast<double>(down)) * 0.5;
    return (toUp < 0.0 ? -toUp : toUp) > tolerance && (toDown < 0.0 ? -toDown : toDown) > tolerance;
}

// logFloat(x), the C library's logarithm rounded to float, for any x.
inline float naturalLogFloat(float x) {
    if (!(x >= kFastLogLow && x < kFastLogHigh)) return logFloat(x);
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    int32_t e = static_cast<int32_t>(bits >> 23) - 127;
    uint32_t mantissaBits = (bits & 0x7FFFFF) | 0x3F800000;
    float m;
    std::memcpy(&m, &mantissaBits, sizeof m);
    if (m > 1.41421354f) m *= 0.5f, e += 1;
    double d = logOfReduced(static_cast<double>(m), static_cast<double>(e));
    float rounded = static_cast<float>(d);
    return roundsClearly(d, rounded) ? rounded : logFloat(x);
}

// The level of detail whose texels match a footprint's minor radius.
inline float lodOfRadius(float minor) {
    return static_cast<float>(static_cast<double>(naturalLogFloat(minor)) * kLog2OfE);
}

// lodOfRadius in lanes; lanes outside the fast range, or near a midpoint, take the scalar way.
template <int N>
VELORUND_LANE_INLINE typename Lanes<N>::F lodOfRadiusLanes(typename Lanes<N>::F minor) {
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;
    using Wide = typename V::Wide;
    I bits = reinterpret_cast<I>(minor);
    I e = (bits >> 23) - 127;
    F m = reinterpret_cast<F>((bits & 0x7FFFFF) | 0x3F800000);
    I big = m > 1.41421354f;
    m = V::select(big, m * 0.5f, m);
    e = e - big;  // a set mask is -1
    Wide d = logOfReduced(V::widen(m), V::widen(e));
    F rounded = V::narrow(d);

    // The midpoints on either side of each rounded lane, against the tolerance.
    I roundedBits = reinterpret_cast<I>(rounded);
    Wide r = V::widen(rounded);
    Wide toUp = d - (r + V::widen(reinterpret_cast<F>(roundedBits + 1))) * 0.5;
    Wide toDown = d - (r + V::widen(reinterpret_cast<F>(roundedBits - 1))) * 0.5;
    Wide tolerance = V::wideAbs(d) * 0x1p-48;
    I clear = V::narrowMask(V::wideAbs(toUp) > tolerance) & V::narrowMask(V::wideAbs(toDown) > tolerance);
    I fast = (minor >= kFastLogLow) & (minor < kFastLogHigh) & clear;
    F logs = rounded;
    if (__builtin_expect(!V::all(fast), 0)) {
        for (int32_t i = 0; i < N; i++)
            if (!fast[i]) logs[i] = logFloat(minor[i]);
    }
    return V::narrow(V::widen(logs) * kLog2OfE);
}
