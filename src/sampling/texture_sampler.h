// The texture sampler: turns a mapped source position and the mapped positions of two
// neighbouring sub-samples into a colour. The neighbours give the sample's footprint in the
// source, an ellipse; the sampler reads the pyramid level that matches the ellipse's short axis
// and takes several reads along its long axis when it is elongated.
//
// Positions are normalised: 0..1 across the source at every level. Results are four floats on a
// 0..1 scale (red, green, blue, alpha), not clamped.
#pragma once

#include <cstdint>

#include "image/image_buffer.h"

// The x coordinate of a neighbour that has no mapped position.
constexpr float kMissingPosition = -1.0f;

// The sampler's limits, shared by its one-sample and vector-lane forms.
constexpr float kJumpDistance = 0.5f;   // neighbours further apart than this straddle a jump
constexpr float kMinAnisotropy = 1.25f;  // rounder footprints take one probe
constexpr float kFullSpreadAnisotropy = 1.5f;
constexpr int32_t kMaxProbes = 20;
constexpr float kMinRadius = 0.5f;       // the minor radius, in level-0 texels, at least
constexpr float kRadiusGuard = 1e-6f;    // the least denominator of the conic and the radii
constexpr float kQuarterTurn = 1.5707964f;

// The level of detail a caller keeps from sample to sample: the last one computed, which a
// sample without a footprint takes. The sampler also notes whether it has written the slot and
// whether it read the slot before writing it, so a caller that renders a strip of rows with a
// slot whose value it only guessed knows whether the guess mattered.
struct LodSlot {
    float cachedLod;
    uint8_t written;            // set whenever cachedLod is written
    uint8_t readBeforeWritten;  // set when cachedLod is taken while `written` is clear
};

// Samples `buffer` at S = (sx, sy) with the footprint given by the differences P - N1 and
// P - N2, each ellipse radius scaled by (1 - reduction / 2). Stores the level of detail it
// computes in the slot; with both neighbours missing, it takes the slot's level and reads a
// single probe.
void sampleFiltered(float n1x, float n1y, float n2x, float n2y, float px, float py, float sx,
                    float sy, const ImageBuffer* buffer, float out[4], float reduction,
                    LodSlot* slot);

// The arguments of up to kMaxSampleLanes filtered samples, sampleFiltered's, one array each.
constexpr int32_t kMaxSampleLanes = 16;
struct SampleLanes {
    float n1x[kMaxSampleLanes], n1y[kMaxSampleLanes];
    float n2x[kMaxSampleLanes], n2y[kMaxSampleLanes];
    float px[kMaxSampleLanes], py[kMaxSampleLanes];
    float sx[kMaxSampleLanes], sy[kMaxSampleLanes];
};

// The samples of `count` requests (at most kMaxSampleLanes), each with at least one neighbour:
// the bits of sampleFiltered for each in turn with the same slot, taken in the vector lanes of
// the buffer's instruction set.
void sampleFilteredLanes(const SampleLanes* requests, int32_t count, const ImageBuffer* buffer, float reduction,
                         LodSlot* slot, float (*out)[4]);

// How many reads an ellipse with the given ratio of major to minor radius gets along its major
// axis, and what share of the major radius they spread over: one below 1.25, two spreading
// apart up to 1.5, then the rounded ratio, at most 20.
struct ProbeLayout {
    int32_t count;
    float spread;
};
ProbeLayout probeLayout(float anisotropy);

// The sampler's square root: an inverse square root from a bit-level first guess refined by two
// Newton steps, times v. Slightly low (4 gives 1.99999); 0 gives 0.
float fastSqrt(float v);
