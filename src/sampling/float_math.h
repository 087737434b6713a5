// Single-precision elementary functions with the same result on every platform. Each is
// evaluated in double precision and rounded once to float, which gives the correctly rounded
// float in all but vanishingly rare cases, whatever the platform's float routines would return.
// The sampler's level of detail and probe directions depend on these bits.
#pragma once

#include <cmath>

inline float logFloat(float x) { return static_cast<float>(std::log(static_cast<double>(x))); }
inline float atanFloat(float x) { return static_cast<float>(std::atan(static_cast<double>(x))); }
inline float sinFloat(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float cosFloat(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
