// The texture sampler. A sample's footprint is two derivative vectors from the reference
// position to its neighbours, in level-0 texels; the sampler turns them into an
// elliptical-weighted-average ellipse, picks the level of detail from its minor radius and
// probes along its major axis. Samples taken together run in vector lanes
// (sampling/sampler_lanes.h), lane by lane the scalar operations here, so they give the bits of
// one call after another.
#include "sampling/texture_sampler.h"

#include <cmath>
#include <cstring>

#include "platform/check.h"
#include "sampling/float_math.h"
#include "sampling/kernels.h"
#include "sampling/level_of_detail.h"
#include "sampling/sampler_lanes.h"

namespace {

// The derivative vectors of one sample, in level-0 texels.
struct Footprint {
    float d1x, d1y, d2x, d2y;
    bool none;  // both neighbours missing: no footprint can be formed
    bool jump;  // a neighbour lies more than half the image away
};

Footprint footprintOf(float n1x, float n1y, float n2x, float n2y, float px, float py,
                      const ImageBuffer* buffer) {
    Footprint f;
    bool missing1 = n1x == kMissingPosition;
    bool missing2 = n2x == kMissingPosition;
    f.d1x = px - n1x;
    f.d1y = py - n1y;
    f.d2x = px - n2x;
    f.d2y = py - n2y;
    if (missing1 && !missing2) f.d1x = f.d2x, f.d1y = f.d2y;
    if (missing2 && !missing1) f.d2x = f.d1x, f.d2y = f.d1y;
    f.none = missing1 && missing2;

    f.jump = std::fabs(f.d1x) > kJumpDistance || std::fabs(f.d1y) > kJumpDistance ||
             std::fabs(f.d2x) > kJumpDistance || std::fabs(f.d2y) > kJumpDistance;

    float width = static_cast<float>(buffer->levelWidth[0]);
    float height = static_cast<float>(buffer->levelHeight[0]);
    f.d1x *= width;
    f.d2x *= width;
    f.d1y *= height;
    f.d2y *= height;
    return f;
}

// The larger of a guard and a value, the guard for NaN (as fmax gives it).
inline float atLeast(float guard, float v) { return v > guard ? v : guard; }

// The EWA ellipse of a footprint: its conic (a, b, c), its radii shrunk by the reduction, the
// minor one at least half a texel, and the level of detail, log2 of the minor radius.
struct Ellipse {
    float a, b, c;
    float major, minor;
    float lod;
};

Ellipse ellipseOf(const Footprint& f, float reduction) {
    Ellipse e;
    // The conic of the two derivative vectors, never narrower than one texel.
    float coefA = atLeast(1.0f, f.d1y * f.d1y + f.d2y * f.d2y);
    float coefC = atLeast(1.0f, f.d1x * f.d1x + f.d2x * f.d2x);
    float coefB = -2.0f * (f.d1x * f.d1y + f.d2x * f.d2y);
    float det = atLeast(kRadiusGuard, coefA * coefC - coefB * coefB / 4.0f);
    e.a = coefA / det;
    e.b = coefB / det;
    e.c = coefC / det;

    // Its radii, shrunk by the caller's reduction; the minor one at least half a texel.
    float root = fastSqrt((e.a - e.c) * (e.a - e.c) + e.b * e.b);
    float shrink = 1.0f - reduction / 2.0f;
    e.major = fastSqrt(2.0f / atLeast(kRadiusGuard, e.a + e.c - root)) * shrink;
    e.minor = fastSqrt(2.0f / atLeast(kRadiusGuard, e.a + e.c + root)) * shrink;
    if (e.minor < kMinRadius) e.minor = kMinRadius;

    // The level whose texels match the minor radius.
    e.lod = lodOfRadius(e.minor);
    return e;
}

// Clamp to edge, the rule of every buffer the filter makes: a position outside 0..1 moves to
// the nearest edge (NaN to 0), so no sample is rejected.
float clampUnit(float v) { return v >= 0.0f ? (v <= 1.0f ? v : 1.0f) : 0.0f; }

// A level of detail clamped to the buffer's levels (NaN to 0) and split into level and fraction.
void splitLod(float lod, const ImageBuffer* buffer, int32_t* level, float* fraction) {
    float last = static_cast<float>(buffer->lastLevel);
    if (!(lod >= 0.0f)) lod = 0.0f;
    if (lod > last) lod = last;
    *level = static_cast<int32_t>(lod);
    *fraction = lod - static_cast<float>(*level);
}

void readScaled(const ImageBuffer* buffer, int32_t level, float fraction, float x, float y,
                float out[4]) {
    readLevelPair(buffer, level, fraction, x, y, out);
    for (int i = 0; i < 4; i++) out[i] *= buffer->inverseScale;
}

// One probe: the position clamped to the edge, then one level-pair read.
void probe(const ImageBuffer* buffer, int32_t level, float fraction, float x, float y,
           float out[4]) {
    readScaled(buffer, level, fraction, clampUnit(x), clampUnit(y), out);
}

}  // namespace

ProbeLayout probeLayout(float anisotropy) {
    if (!(anisotropy >= kMinAnisotropy)) return {1, 1.0f};
    // Just past round, two probes start together and move apart as the ellipse stretches.
    if (anisotropy > kMinAnisotropy && anisotropy < kFullSpreadAnisotropy) {
        return {2, (anisotropy - kMinAnisotropy) * 4.0f};
    }
    float count = std::floor(anisotropy + 0.5f);
    if (count > static_cast<float>(kMaxProbes)) return {kMaxProbes, 1.0f};
    return {count < 1.0f ? 1 : static_cast<int32_t>(count), 1.0f};
}

float fastSqrt(float v) {
    if (v == 0.0f) return 0.0f;
    int32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    int32_t guessBits = 0x5F375A86 - (bits >> 1);
    float y;
    std::memcpy(&y, &guessBits, sizeof y);
    float half = 0.5f * v;
    y = y * (1.5f - (half * y) * y);
    y = y * (1.5f - (half * y) * y);
    return y * v;
}

namespace {

// The reads of a filtered sample once its level of detail and radii are known.
void readEllipse(const Footprint& f, const Ellipse& e, float lod, float sx, float sy,
                 const ImageBuffer* buffer, float out[4]) {
    int32_t level;
    float fraction;
    splitLod(lod, buffer, &level, &fraction);

    // Round enough: one probe.
    float anisotropy = e.major / e.minor;
    if (!(anisotropy >= kMinAnisotropy)) {
        probe(buffer, level, fraction, sx, sy, out);
        return;
    }

    // Across a jump in the mapping the footprint means nothing: one read where the sample is,
    // its coordinates only kept off the negative side where the kernel has no phases.
    if (f.jump) {
        readScaled(buffer, level, fraction, sx >= 0.0f ? sx : 0.0f, sy >= 0.0f ? sy : 0.0f, out);
        return;
    }

    // Smaller than a texel in both directions: one unblended read of level 0.
    if (e.major <= 1.0f && e.minor <= 1.0f) {
        probe(buffer, 0, 0.0f, sx, sy, out);
        return;
    }

    ProbeLayout layout = probeLayout(anisotropy);
    int32_t probes = layout.count;

    // Direction of the major axis, and the step between probes in normalised units.
    float theta = 0.5f * atanFloat(e.b / (e.a - e.c));
    if (e.a > e.c) theta += kQuarterTurn;
    float n = static_cast<float>(probes);
    float stepX = cosFloat(theta) * layout.spread * e.major / n * buffer->invWidth;
    float stepY = sinFloat(theta) * layout.spread * e.major / n * buffer->invHeight;

    // Probes centred on S along the axis, averaged.
    float centre = static_cast<float>(probes - 1) / 2.0f;
    float startX = sx - centre * stepX;
    float startY = sy - centre * stepY;
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t k = 0; k < probes; k++) {
        float value[4];
        float fk = static_cast<float>(k);
        probe(buffer, level, fraction, startX + fk * stepX, startY + fk * stepY, value);
        for (int i = 0; i < 4; i++) sum[i] += value[i];
    }
    float weight = 1.0f / n;
    for (int i = 0; i < 4; i++) out[i] = sum[i] * weight;
}

// A sample whose level of detail comes from the slot: a single probe at the clamped position.
void readCachedLod(float sx, float sy, const ImageBuffer* buffer, float out[4], LodSlot* slot) {
    if (!slot->written) slot->readBeforeWritten = 1;
    Footprint none = {};
    Ellipse round = {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f};
    readEllipse(none, round, slot->cachedLod, clampUnit(sx), clampUnit(sy), buffer, out);
}

// The slot takes the level a footprint gives.
void storeLod(LodSlot* slot, float lod) {
    slot->cachedLod = lod;
    slot->written = 1;
}

}  // namespace

void sampleFiltered(float n1x, float n1y, float n2x, float n2y, float px, float py, float sx,
                    float sy, const ImageBuffer* buffer, float out[4], float reduction,
                    LodSlot* slot) {
    Footprint f = footprintOf(n1x, n1y, n2x, n2y, px, py, buffer);
    if (f.none) {
        readCachedLod(sx, sy, buffer, out, slot);
        return;
    }
    Ellipse e = ellipseOf(f, reduction);
    storeLod(slot, e.lod);
    readEllipse(f, e, e.lod, sx, sy, buffer, out);
}

#if defined(VELORUND_X86)
static void sampleLanesSse2(const SampleLanes* requests, int32_t count, const ImageBuffer* buffer, float reduction,
                            TileBlockKernel kernel, LodSlot* slot, float (*out)[4]) {
    sampleFilteredInLanes<4>(requests, count, buffer, reduction, kernel, slot, nullptr, out);
}
#include "platform/simd_avx2_begin.h"
static void sampleLanesAvx2(const SampleLanes* requests, int32_t count, const ImageBuffer* buffer, float reduction,
                            TileBlockKernel kernel, LodSlot* slot, float (*out)[4]) {
    sampleFilteredInLanes<8>(requests, count, buffer, reduction, kernel, slot, nullptr, out);
}
#include "platform/simd_target_end.h"
#include "platform/simd_avx512_begin.h"
static void sampleLanesAvx512(const SampleLanes* requests, int32_t count, const ImageBuffer* buffer,
                              float reduction, TileBlockKernel kernel, LodSlot* slot, float (*out)[4]) {
    sampleFilteredInLanes<8>(requests, count, buffer, reduction, kernel, slot, nullptr, out);
}
#include "platform/simd_target_end.h"
#endif

void sampleFilteredLanes(const SampleLanes* r, int32_t count, const ImageBuffer* buffer, float reduction,
                         LodSlot* slot, float (*out)[4]) {
    VELORUND_CHECK(count >= 0 && count <= kMaxSampleLanes);
#if defined(VELORUND_X86)
    TileBlockKernel kernel = tileBlockKernel(buffer->simd, buffer->imageMode);
    switch (buffer->simd) {
        case SimdLevel::Sse2: sampleLanesSse2(r, count, buffer, reduction, kernel, slot, out); return;
        case SimdLevel::Avx2: sampleLanesAvx2(r, count, buffer, reduction, kernel, slot, out); return;
        case SimdLevel::Avx512: sampleLanesAvx512(r, count, buffer, reduction, kernel, slot, out); return;
        case SimdLevel::Portable: break;
    }
#endif
    for (int32_t i = 0; i < count; i++) {
        VELORUND_CHECK(!(r->n1x[i] == kMissingPosition && r->n2x[i] == kMissingPosition));
        sampleFiltered(r->n1x[i], r->n1y[i], r->n2x[i], r->n2y[i], r->px[i], r->py[i], r->sx[i], r->sy[i], buffer,
                       out[i], reduction, slot);
    }
}
