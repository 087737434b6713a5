// The resampling weight table: 128 sub-texel phases of the 5-tap windowed-sinc kernel, in the
// three forms the per-format kernels read. Tap j weighs the texel at offset 2 - j from the
// kernel's base texel. One table serves a whole run; every image buffer points at it.
#pragma once

#include <cstdint>

constexpr int kWeightTaps = 5;
constexpr int kWeightPhases = 128;

struct WeightTable {
    float weights[kWeightTaps][kWeightPhases];        // float data; each phase sums to 1
    int32_t weights2048[kWeightTaps][kWeightPhases];  // 8-bit data; each phase sums to 2048
    int32_t weights32768[kWeightTaps][kWeightPhases]; // 16-bit data; each phase sums to 32768
    // The same weights by phase, the five of a phase side by side for the vector kernels, the
    // one for offset -2 (tap 4) first.
    float byOffset[kWeightPhases][kWeightTaps];
    int32_t byOffset2048[kWeightPhases][kWeightTaps];
    int32_t byOffset32768[kWeightPhases][kWeightTaps];
};

// Fills all three forms, in both arrangements. Every tap's weight is the window sin(pi t)/(pi t) * sin(pi t/2)/(pi t/2)
// averaged over 20 points of its texel; a phase's float weights are normalised to sum to 1, and
// the rounding remainder of every form goes to tap 4.
void buildWeightTable(WeightTable* table);
