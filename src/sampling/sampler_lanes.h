// The texture sampler in vector lanes: samples with a footprint, N at a time, each lane doing the
// scalar sampler's operations (texture_sampler.cpp) on one sample in the same order. Footprints,
// ellipses, levels of detail and the way each sample is read are formed in lanes; so are the
// kernel positions, phases and tiles of the level-pair reads, whose blocks then go to the run's
// vector kernel together (a block near an edge or a tile seam as a copy of its clamped texels).
// Only the directions of elongated footprints, and their probes' positions, are formed one
// sample at a time, as the scalar sampler forms them.
//
// A float sum or difference the scalar code forms in double and rounds to float (the kernel
// position's -0.5 and +0.5) is the float operation itself here: double carries more than twice
// float's precision, so rounding twice gives the once-rounded result.
#pragma once

#include <cstdint>

#include "image/pixel_access.h"
#include "platform/lanes.h"
#include "sampling/float_math.h"
#include "sampling/kernels.h"
#include "sampling/level_of_detail.h"
#include "sampling/texture_sampler.h"

namespace sampler_lanes {

using Float4 = VectorOf<float, 16>::type;  // one sample's channels

VELORUND_LANE_INLINE Float4 loadFloat4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
VELORUND_LANE_INLINE void storeFloat4(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

// The level-pair reads of the lanes whose `active` mask is set, as readLevelPair reads them and
// scaled to 0..1, into out.
template <int N>
VELORUND_LANE_INLINE void readLevelPairs(typename Lanes<N>::F x, typename Lanes<N>::F y, typename Lanes<N>::I level,
                                         typename Lanes<N>::F fraction, typename Lanes<N>::I active,
                                         const ImageBuffer* buffer, TileBlockKernel kernel, float (*out)[4]) {
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;
    TileBlock blocks[2 * N];
    int32_t blockOf[2][N];
    alignas(16) uint8_t scratch[2 * N][kBlockScratchBytes];
    int32_t count = 0;

    // The level clamped so that its coarser neighbour exists.
    const I lastPair = I{} + (buffer->lastLevel - 1);
    level = V::select(level > lastPair, lastPair, level);
    level = V::select(level < 0, I{}, level);
    level = level & active;
    const bool oneLevel = V::all(level == level[0]);
    const I blended = active & (fraction != 0.0f);
    for (int32_t pass = 0; pass < (V::any(blended) ? 2 : 1); pass++) {
        const I reading = pass == 0 ? active : blended;
        I l = level + pass;
        I width, height, lastX, lastY, firstTile, across;
        if (oneLevel) {
            const int32_t li = l[0];
            width = I{} + buffer->levelWidth[li], height = I{} + buffer->levelHeight[li];
            lastX = I{} + buffer->levelLastX[li], lastY = I{} + buffer->levelLastY[li];
            firstTile = I{} + static_cast<int32_t>(buffer->levelFirstTile[li]);
            across = I{} + static_cast<int32_t>(buffer->levelTilesAcross[li]);
        } else {
            for (int32_t i = 0; i < N; i++) {
                const int32_t li = l[i];
                width[i] = buffer->levelWidth[li], height[i] = buffer->levelHeight[li];
                lastX[i] = buffer->levelLastX[li], lastY[i] = buffer->levelLastY[li];
                firstTile[i] = static_cast<int32_t>(buffer->levelFirstTile[li]);
                across[i] = static_cast<int32_t>(buffer->levelTilesAcross[li]);
            }
        }

        // Kernel positions, texel centres on whole numbers, and their bases and phases.
        F u = V::toFloat(width) * x - 0.5f;
        F v = V::toFloat(height) * y - 0.5f;
        auto split = [](F position, I* base, I* phase) VELORUND_LANE_LAMBDA {
            F a = position + 0.5f;
            a = V::select(a >= 0.0f, a, F{});
            a = V::select(a > kMaxKernelCoordinate, F{} + kMaxKernelCoordinate, a);
            *base = V::truncate(a);
            *phase = V::truncate((a - V::toFloat(*base)) * 128.0f);
        };
        I bx, by, phaseX, phaseY;
        split(u, &bx, &phaseX);
        split(v, &by, &phaseY);
        I left = bx - kBlockReach, top = by - kBlockReach;
        I inTile = (bx >= kBlockReach) & (bx <= lastX - kBlockReach) & (by >= kBlockReach) &
                   (by <= lastY - kBlockReach) & ((left & kTileMask) <= kFastBlockLimit) &
                   ((top & kTileMask) <= kFastBlockLimit);
        I tile = firstTile + (top >> kTileShift) * across + (left >> kTileShift);
        I rowInTile = top & kTileMask, column = left & kTileMask;
        const int32_t bytes = static_cast<int32_t>(buffer->bytesPerPixel);

        for (int32_t i = 0; i < N; i++) {
            if (!reading[i]) continue;
            blockOf[pass][i] = count;
            TileBlock& block = blocks[count++];
            if (!inTile[i]) {
                block = blockToRead(buffer, l[i], u[i], v[i], scratch[count - 1]);
                continue;
            }
            const TileEntry& entry = buffer->tiles[tile[i]];
            block.corner = entry.pixels + static_cast<size_t>(rowInTile[i] * entry.width + column[i]) * bytes;
            block.stride = entry.width * bytes;
            block.phaseX = phaseX[i];
            block.phaseY = phaseY[i];
        }
    }

    // Every block at once, then each probe blended towards the coarser level and scaled.
    float reads[2 * N][4];
    if (count > 0) kernel(blocks, count, *buffer->weightTable, reads);
    const float inverseScale = buffer->inverseScale;
    for (int32_t i = 0; i < N; i++) {
        if (!active[i]) continue;
        Float4 value = loadFloat4(reads[blockOf[0][i]]);
        if (blended[i]) value = value + (loadFloat4(reads[blockOf[1][i]]) - value) * fraction[i];
        storeFloat4(out[i], value * inverseScale);
    }
}

// fastSqrt in lanes.
template <int N>
VELORUND_LANE_INLINE typename Lanes<N>::F fastSqrtLanes(typename Lanes<N>::F v) {
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;
    F y = reinterpret_cast<F>(0x5F375A86 - (reinterpret_cast<I>(v) >> 1));
    F half = 0.5f * v;
    y = y * (1.5f - (half * y) * y);
    y = y * (1.5f - (half * y) * y);
    return V::select(v != 0.0f, y * v, F{});
}

template <int N>
VELORUND_LANE_INLINE typename Lanes<N>::F atLeast(float guard, typename Lanes<N>::F v) {
    return Lanes<N>::select(v > guard, v, typename Lanes<N>::F{} + guard);
}

template <int N>
VELORUND_LANE_INLINE typename Lanes<N>::F clampUnit(typename Lanes<N>::F v) {
    using V = Lanes<N>;
    using F = typename V::F;
    return V::select(v >= 0.0f, V::select(v <= 1.0f, v, F{} + 1.0f), F{});
}

// The probes along the major axis of elongated footprints, each sample's spread over its own
// run of them.
template <int N>
struct ProbeList {
    static constexpr int32_t kCapacity = N * kMaxProbes;
    float x[kCapacity], y[kCapacity];
    int32_t level[kCapacity];
    float fraction[kCapacity];
    int32_t count = 0;
};

// The samples of lanes 0 .. n - 1 whose `active` mask is set (the others give 0), as
// sampleFiltered gives them one after another with the same slot: (n1, n2) the neighbours, p
// the reference position, s the sample's. A lane whose neighbours are both missing takes the
// level of detail the slot holds when its turn comes.
template <int N>
VELORUND_LANE_INLINE void sampleLanes(typename Lanes<N>::F n1x, typename Lanes<N>::F n1y, typename Lanes<N>::F n2x,
                                      typename Lanes<N>::F n2y, typename Lanes<N>::F px, typename Lanes<N>::F py,
                                      typename Lanes<N>::F sx, typename Lanes<N>::F sy, typename Lanes<N>::I active,
                                      int32_t n, const ImageBuffer* buffer, float reduction, TileBlockKernel kernel,
                                      LodSlot* slot, float* slotRadius, float (*out)[4]) {
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;

    // The footprint: derivative vectors, one standing in for a missing other, in level-0 texels.
    I missing1 = n1x == kMissingPosition, missing2 = n2x == kMissingPosition;
    F d1x = px - n1x, d1y = py - n1y, d2x = px - n2x, d2y = py - n2y;
    I only1 = missing1 & ~missing2, only2 = missing2 & ~missing1;
    I none = missing1 & missing2;
    F e1x = V::select(only1, d2x, d1x), e1y = V::select(only1, d2y, d1y);
    F e2x = V::select(only2, d1x, d2x), e2y = V::select(only2, d1y, d2y);
    I jump = (V::fabs(e1x) > kJumpDistance) | (V::fabs(e1y) > kJumpDistance) | (V::fabs(e2x) > kJumpDistance) |
             (V::fabs(e2y) > kJumpDistance);
    const float width = static_cast<float>(buffer->levelWidth[0]);
    const float height = static_cast<float>(buffer->levelHeight[0]);
    e1x = e1x * width, e2x = e2x * width, e1y = e1y * height, e2y = e2y * height;

    // The ellipse: conic, radii shrunk by the reduction, the minor one at least half a texel.
    F coefA = atLeast<N>(1.0f, e1y * e1y + e2y * e2y);
    F coefC = atLeast<N>(1.0f, e1x * e1x + e2x * e2x);
    F coefB = -2.0f * (e1x * e1y + e2x * e2y);
    F det = atLeast<N>(kRadiusGuard, coefA * coefC - coefB * coefB / 4.0f);
    F a = coefA / det, b = coefB / det, c = coefC / det;
    F root = fastSqrtLanes<N>((a - c) * (a - c) + b * b);
    const float shrink = 1.0f - reduction / 2.0f;
    F major = fastSqrtLanes<N>(2.0f / atLeast<N>(kRadiusGuard, a + c - root)) * shrink;
    F minor = fastSqrtLanes<N>(2.0f / atLeast<N>(kRadiusGuard, a + c + root)) * shrink;
    minor = V::select(minor < kMinRadius, F{} + kMinRadius, minor);

    // The level of detail, log2 of the minor radius: where no radius exceeds one texel every
    // level clamps to 0, and the lanes' levels are not formed. The slot takes each footprint's
    // level in turn; a sample without one takes the level the slot holds at its turn, and reads
    // as a round footprint of one texel. With `slotRadius` the caller takes the last radius and
    // forms the slot's level itself, once it is read.
    const bool withoutFootprint = V::any(none & active);
    F lod = {};
    if (withoutFootprint || V::any(active & (minor > 1.0f))) lod = lodOfRadiusLanes<N>(minor);
    if (__builtin_expect(!withoutFootprint, 1)) {
        for (int32_t i = n - 1; i >= 0; i--) {
            if (!active[i]) continue;
            if (slotRadius) *slotRadius = minor[i];
            else slot->cachedLod = lodOfRadius(minor[i]);
            slot->written = 1;
            break;
        }
    } else {
        if (slotRadius && *slotRadius > 0.0f) slot->cachedLod = lodOfRadius(*slotRadius);
        if (slotRadius) *slotRadius = 0.0f;
        for (int32_t i = 0; i < n; i++) {
            if (!active[i]) continue;
            if (!none[i]) {
                slot->cachedLod = lod[i];
                slot->written = 1;
                continue;
            }
            if (!slot->written) slot->readBeforeWritten = 1;
            lod[i] = slot->cachedLod;
        }
        major = V::select(none, F{} + 1.0f, major);
        minor = V::select(none, F{} + 1.0f, minor);
        jump = jump & ~none;
    }

    // The level and fraction, and which way each sample is read: one probe where the footprint
    // is round (kept to the edge), straddles a jump (kept off the negative side) or is smaller
    // than a texel (level 0 alone); along the major axis where it is elongated.
    const F last = F{} + static_cast<float>(buffer->lastLevel);
    F clamped = V::select(lod >= 0.0f, lod, F{});
    clamped = V::select(clamped > last, last, clamped);
    I level = V::truncate(clamped);
    F fraction = clamped - V::toFloat(level);
    F anisotropy = major / minor;
    I round = ~(anisotropy >= kMinAnisotropy);
    I straddles = ~round & jump;
    I tiny = ~round & ~jump & (major <= 1.0f) & (minor <= 1.0f);
    I elongated = ~round & ~jump & ~tiny;
    F probeX = V::select(straddles, V::select(sx >= 0.0f, sx, F{}), clampUnit<N>(sx));
    F probeY = V::select(straddles, V::select(sy >= 0.0f, sy, F{}), clampUnit<N>(sy));
    level = V::select(tiny, I{}, level);
    fraction = V::select(tiny, F{}, fraction);
    for (int32_t i = 0; i < n; i++)
        if (!active[i]) storeFloat4(out[i], Float4{});
    elongated = elongated & active;
    readLevelPairs<N>(probeX, probeY, level, fraction, active & ~elongated, buffer, kernel, out);
    if (__builtin_expect(!V::any(elongated), 1)) return;

    // Elongated footprints: probes centred on the sample along the major axis, averaged.
    ProbeList<N> probes;
    int32_t firstProbe[N + 1] = {};
    for (int32_t i = 0; i < n; i++) {
        firstProbe[i] = probes.count;
        if (!elongated[i]) continue;
        ProbeLayout layout = probeLayout(anisotropy[i]);
        float theta = 0.5f * atanFloat(b[i] / (a[i] - c[i]));
        if (a[i] > c[i]) theta += kQuarterTurn;
        float count = static_cast<float>(layout.count);
        float stepX = cosFloat(theta) * layout.spread * major[i] / count * buffer->invWidth;
        float stepY = sinFloat(theta) * layout.spread * major[i] / count * buffer->invHeight;
        float centre = static_cast<float>(layout.count - 1) / 2.0f;
        float startX = sx[i] - centre * stepX;
        float startY = sy[i] - centre * stepY;
        for (int32_t k = 0; k < layout.count; k++, probes.count++) {
            float fk = static_cast<float>(k);
            probes.x[probes.count] = startX + fk * stepX;
            probes.y[probes.count] = startY + fk * stepY;
            probes.level[probes.count] = level[i];
            probes.fraction[probes.count] = fraction[i];
        }
    }
    firstProbe[n] = probes.count;
    float values[ProbeList<N>::kCapacity + N][4];
    for (int32_t p = 0; p < probes.count; p += N) {
        int32_t m = probes.count - p < N ? probes.count - p : N;
        readLevelPairs<N>(clampUnit<N>(V::template loadSome<F>(probes.x + p, m)),
                          clampUnit<N>(V::template loadSome<F>(probes.y + p, m)),
                          V::template loadSome<I>(probes.level + p, m), V::template loadSome<F>(probes.fraction + p, m),
                          V::laneIndex() < m, buffer, kernel, values + p);
    }
    for (int32_t i = 0; i < n; i++) {
        if (!elongated[i]) continue;
        Float4 sum = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int32_t k = firstProbe[i]; k < firstProbe[i + 1]; k++) sum = sum + loadFloat4(values[k]);
        storeFloat4(out[i], sum * (1.0f / static_cast<float>(firstProbe[i + 1] - firstProbe[i])));
    }
}

}  // namespace sampler_lanes

// sampleFilteredLanes on N lanes, with `kernel` for the blocks; with slotRadius, the slot's level
// is left for the caller to form from the radius stored there (0 for none pending).
template <int N>
VELORUND_LANE_INLINE void sampleFilteredInLanes(const SampleLanes* requests, int32_t count, const ImageBuffer* buffer,
                                                float reduction, TileBlockKernel kernel, LodSlot* slot,
                                                float* slotRadius, float (*out)[4]) {
    using V = Lanes<N>;
    using F = typename V::F;
    for (int32_t first = 0; first < count; first += N) {
        int32_t n = count - first < N ? count - first : N;
        auto lanes = [&](const float* field) VELORUND_LANE_LAMBDA { return V::template loadSome<F>(field + first, n); };
        sampler_lanes::sampleLanes<N>(lanes(requests->n1x), lanes(requests->n1y), lanes(requests->n2x),
                                      lanes(requests->n2y), lanes(requests->px), lanes(requests->py),
                                      lanes(requests->sx), lanes(requests->sy), V::laneIndex() < n, n, buffer,
                                      reduction, kernel, slot, slotRadius, out + first);
    }
}
