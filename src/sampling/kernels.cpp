// The resampling kernels. Every read locates its 5 x 5 block of texels once: straight from one
// tile's rows when the block lies inside a single tile away from the image edge (the common
// case), or tap by tap with edge clamping and a tile lookup per tap near edges and tile seams.
// One template then sums the block for each format: horizontal sums over the five columns of
// every row, then the weighted sum of the rows, columns and rows in increasing position.
//
// 8-bit and 16-bit data are summed in 32-bit integers with the 2048- and 32768-scale weights.
// The integer arithmetic runs on unsigned words and is read back as signed, so it wraps exactly
// like 32-bit signed arithmetic would on data outside the format's range instead of being
// undefined; data in range never comes near the limit.
//
// Blocks inside one tile take a straight SSE2 path per format (SSE2 is part of x86-64). Its
// results are the scalar template's to the bit: integer sums are exact whatever order they are
// formed in, and the float path keeps the template's order of products and sums, channel by
// channel, one float lane per channel.
#include "sampling/kernels.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/pixel_access.h"
#include "platform/check.h"
#include "sampling/weight_table.h"

namespace {

constexpr int kTaps = kWeightTaps;
constexpr int kBlockReach = 2;                      // taps from -2 to +2 around the base texel
constexpr int32_t kFastBlockLimit = kTileSize - kTaps;  // last block start inside one tile
constexpr float kMaxKernelCoordinate = 8388608.0f;  // 2^23: every float from here up is whole

// Where the texels of one kernel read are, and the phases that pick their weights. A block
// inside one tile away from the level's edges is its top-left texel and the tile's row stride;
// any other block lists every texel's address.
struct KernelBlock {
    const uint8_t* corner;               // the block's top-left texel, or null
    size_t stride;                       // bytes from one row of the tile to the next
    const uint8_t* texel[kTaps][kTaps];  // [row][column], offset -2 first, when corner is null
    int32_t phaseX;
    int32_t phaseY;
};

// Splits a kernel coordinate into its base texel and the phase within it, in 1/128 steps.
// Coordinates below 0 (and NaN) read as 0; very large ones are capped where they are whole
// already, so neither the base nor the phase changes meaning.
void splitCoordinate(float kernelPosition, int32_t* base, int32_t* phase) {
    float a = static_cast<float>(static_cast<double>(kernelPosition) + 0.5);
    if (!(a >= 0.0f)) a = 0.0f;
    if (a > kMaxKernelCoordinate) a = kMaxKernelCoordinate;
    *base = static_cast<int32_t>(a);
    *phase = static_cast<int32_t>((a - static_cast<float>(*base)) * 128.0f);
}

void locateBlock(const ImageBuffer* buffer, int32_t level, float u, float v, KernelBlock* block) {
    int32_t bx, by;
    splitCoordinate(u, &bx, &block->phaseX);
    splitCoordinate(v, &by, &block->phaseY);
    int32_t lastX = buffer->levelLastX[level];
    int32_t lastY = buffer->levelLastY[level];
    int32_t left = bx - kBlockReach;
    int32_t top = by - kBlockReach;

    // Inside the level and inside one tile: read along the tile's rows.
    if (bx >= kBlockReach && bx <= lastX - kBlockReach && by >= kBlockReach &&
        by <= lastY - kBlockReach && (left & kTileMask) <= kFastBlockLimit &&
        (top & kTileMask) <= kFastBlockLimit) {
        block->corner = pixelAddress(buffer, level, left, top);
        block->stride = static_cast<size_t>(tileOf(buffer, level, left, top).width) * buffer->bytesPerPixel;
        return;
    }

    // Elsewhere every tap is clamped to the level's edge and found through its own tile.
    block->corner = nullptr;
    int32_t columns[kTaps];
    for (int c = 0; c < kTaps; c++) columns[c] = std::clamp(left + c, 0, lastX);
    for (int r = 0; r < kTaps; r++) {
        int32_t row = std::clamp(top + r, 0, lastY);
        for (int c = 0; c < kTaps; c++) block->texel[r][c] = pixelAddress(buffer, level, columns[c], row);
    }
}

const uint8_t* texelOf(const KernelBlock& block, int r, int c, uint32_t bytesPerPixel) {
    return block.corner ? block.corner + r * block.stride + c * bytesPerPixel : block.texel[r][c];
}

// An integer sum's value: its word read as a 32-bit signed integer.
int32_t signedValue(uint32_t sum) { return static_cast<int32_t>(sum); }
float asFloat(uint32_t sum) { return static_cast<float>(signedValue(sum)); }
float asFloat(float sum) { return sum; }

// Per-format shape of a kernel: the channel count, the accumulator, how a texel is unpacked,
// which weights apply, what is done to each row sum and the scale of the result.
struct Rgba8 {
    static constexpr int kChannels = 4;
    using Sum = uint32_t;
    static void load(const uint8_t* p, Sum* c) {
        uint32_t word = loadSample<uint32_t>(p);
        c[0] = word >> 24;
        c[1] = (word >> 16) & 255;
        c[2] = (word >> 8) & 255;
        c[3] = word & 255;
    }
    static const int32_t (&weights(const WeightTable& t))[kTaps][kWeightPhases] {
        return t.weights2048;
    }
    static Sum rowScale(Sum rowSum) { return rowSum; }
    static constexpr float kResultScale = 2.3841858e-7f;  // 2^-22
};

struct Rgba16 {
    static constexpr int kChannels = 4;
    using Sum = uint32_t;
    // One 64-bit load split by shifts: the compiler keeps the four samples in registers.
    static void load(const uint8_t* p, Sum* c) {
        static_assert(std::endian::native == std::endian::little);
        uint64_t pixel = loadSample<uint64_t>(p);
        for (int i = 0; i < 4; i++) c[i] = static_cast<Sum>((pixel >> (16 * i)) & 0xFFFF);
    }
    static const int32_t (&weights(const WeightTable& t))[kTaps][kWeightPhases] {
        return t.weights32768;
    }
    // Each row sum is brought back to the data's scale before the vertical pass, so the total
    // stays within 32 bits.
    static Sum rowScale(Sum rowSum) { return static_cast<Sum>(signedValue(rowSum) / 32768); }
    static constexpr float kResultScale = 3.0517578e-5f;  // 2^-15
};

struct RgbaFloat {
    static constexpr int kChannels = 4;
    using Sum = float;
    static void load(const uint8_t* p, Sum* c) {
        for (int i = 0; i < 4; i++) c[i] = loadSample<float>(p + 4 * i);
    }
    static const float (&weights(const WeightTable& t))[kTaps][kWeightPhases] { return t.weights; }
    static Sum rowScale(Sum rowSum) { return rowSum; }
    static constexpr float kResultScale = 1.0f;
};

// The scalar kernel, for every format and every block.
template <typename Format>
void filterScalar(const KernelBlock& block, const WeightTable& table, uint32_t bytesPerPixel, float* out) {
    using Sum = typename Format::Sum;
    constexpr int kChannels = Format::kChannels;
    const auto& weights = Format::weights(table);

    // Tap index j weighs the texel at offset 2 - j, so the column at offset -2 takes tap 4.
    Sum columnWeight[kTaps];
    for (int c = 0; c < kTaps; c++) {
        columnWeight[c] = static_cast<Sum>(weights[kTaps - 1 - c][block.phaseX]);
    }

    Sum total[kChannels] = {};
    for (int r = 0; r < kTaps; r++) {
        Sum rowSum[kChannels] = {};
        for (int c = 0; c < kTaps; c++) {
            Sum texel[kChannels];
            Format::load(texelOf(block, r, c, bytesPerPixel), texel);
            for (int i = 0; i < kChannels; i++) rowSum[i] += columnWeight[c] * texel[i];
        }
        Sum rowWeight = static_cast<Sum>(weights[kTaps - 1 - r][block.phaseY]);
        for (int i = 0; i < kChannels; i++) total[i] += rowWeight * Format::rowScale(rowSum[i]);
    }
    for (int i = 0; i < kChannels; i++) out[i] = asFloat(total[i]) * Format::kResultScale;
}

#if defined(__SSE2__)

// The low 32 bits of each lane's product (SSE2 multiplies 32-bit lanes two at a time); the low
// half of a product is the same for signed and unsigned lanes.
inline __m128i multiplyLanes(__m128i a, __m128i b) {
    __m128i even = _mm_mul_epu32(a, b);
    __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// A phase's column weights as 16-bit pairs for _mm_madd_epi16: (w0, w1), (w2, w3) and (w4, 0),
// each four times, w0 weighing the column at offset -2. The table's integer weights fit 16
// bits (buildWeightTable checks it).
struct PairedWeights {
    __m128i w01, w23, w4;
};
inline PairedWeights pairedWeights(const int32_t (&weights)[kTaps][kWeightPhases], int32_t phase) {
    int16_t w[kTaps];
    for (int c = 0; c < kTaps; c++) w[c] = static_cast<int16_t>(weights[kTaps - 1 - c][phase]);
    return {_mm_set_epi16(w[1], w[0], w[1], w[0], w[1], w[0], w[1], w[0]),
            _mm_set_epi16(w[3], w[2], w[3], w[2], w[3], w[2], w[3], w[2]),
            _mm_set_epi16(0, w[4], 0, w[4], 0, w[4], 0, w[4])};
}

// Per channel, the sum of the 16-bit lanes of `pairs` times the paired weights, the lanes taken
// as unsigned: each is split into its high and low byte, so the products stay exact.
inline __m128i sumPairsUnsigned(__m128i pairs, __m128i weights) {
    __m128i high = _mm_madd_epi16(_mm_srli_epi16(pairs, 8), weights);
    __m128i low = _mm_madd_epi16(_mm_and_si128(pairs, _mm_set1_epi16(0xFF)), weights);
    return _mm_add_epi32(_mm_slli_epi32(high, 8), low);
}

// Channels (R, G, B, A) of the integer total, converted and scaled.
inline void storeScaled(__m128i total, float scale, float* out) {
    _mm_storeu_ps(out, _mm_mul_ps(_mm_cvtepi32_ps(total), _mm_set1_ps(scale)));
}

// 8-bit texels: the bytes of a texel lie in memory as A, B, G, R. Each row's texel pairs are
// interleaved channel by channel and widened, so one madd weighs two columns of four channels.
void filterRgba8Tile(const KernelBlock& block, const WeightTable& table, float* out) {
    const __m128i zero = _mm_setzero_si128();
    PairedWeights w = pairedWeights(table.weights2048, block.phaseX);
    __m128i total = zero;
    for (int r = 0; r < kTaps; r++) {
        const uint8_t* row = block.corner + r * block.stride;
        __m128i t0123 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
        __m128i t23 = _mm_srli_si128(t0123, 8);
        __m128i p01 = _mm_unpacklo_epi8(_mm_unpacklo_epi8(t0123, _mm_srli_si128(t0123, 4)), zero);
        __m128i p23 = _mm_unpacklo_epi8(_mm_unpacklo_epi8(t23, _mm_srli_si128(t23, 4)), zero);
        __m128i p4 = _mm_cvtsi32_si128(loadSample<int32_t>(row + 16));
        p4 = _mm_unpacklo_epi16(_mm_unpacklo_epi8(p4, zero), zero);
        __m128i rowSum = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(p01, w.w01), _mm_madd_epi16(p23, w.w23)),
                                       _mm_madd_epi16(p4, w.w4));
        __m128i rowWeight = _mm_set1_epi32(table.weights2048[kTaps - 1 - r][block.phaseY]);
        total = _mm_add_epi32(total, multiplyLanes(rowWeight, rowSum));
    }
    storeScaled(_mm_shuffle_epi32(total, _MM_SHUFFLE(0, 1, 2, 3)), Rgba8::kResultScale, out);
}

// 16-bit texels: four samples R, G, B, A. Each row sum is divided by 32768, truncating toward
// zero, before it is weighed by its row.
void filterRgba16Tile(const KernelBlock& block, const WeightTable& table, float* out) {
    const __m128i zero = _mm_setzero_si128();
    PairedWeights w = pairedWeights(table.weights32768, block.phaseX);
    __m128i total = zero;
    for (int r = 0; r < kTaps; r++) {
        const uint8_t* row = block.corner + r * block.stride;
        __m128i t01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
        __m128i t23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 16));
        __m128i t4 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + 32));
        __m128i rowSum = _mm_add_epi32(
            _mm_add_epi32(sumPairsUnsigned(_mm_unpacklo_epi16(t01, _mm_srli_si128(t01, 8)), w.w01),
                          sumPairsUnsigned(_mm_unpacklo_epi16(t23, _mm_srli_si128(t23, 8)), w.w23)),
            sumPairsUnsigned(_mm_unpacklo_epi16(t4, zero), w.w4));
        __m128i towardZero = _mm_and_si128(_mm_srai_epi32(rowSum, 31), _mm_set1_epi32(32767));
        __m128i scaled = _mm_srai_epi32(_mm_add_epi32(rowSum, towardZero), 15);
        __m128i rowWeight = _mm_set1_epi32(table.weights32768[kTaps - 1 - r][block.phaseY]);
        total = _mm_add_epi32(total, multiplyLanes(rowWeight, scaled));
    }
    storeScaled(total, Rgba16::kResultScale, out);
}

// Float texels: one lane per channel, products and sums in the scalar template's order.
void filterRgbaFloatTile(const KernelBlock& block, const WeightTable& table, float* out) {
    const float (&weights)[kTaps][kWeightPhases] = table.weights;
    __m128 total = _mm_setzero_ps();
    for (int r = 0; r < kTaps; r++) {
        const uint8_t* row = block.corner + r * block.stride;
        __m128 rowSum = _mm_setzero_ps();
        for (int c = 0; c < kTaps; c++) {
            __m128 texel = _mm_loadu_ps(reinterpret_cast<const float*>(row + 16 * c));
            rowSum = _mm_add_ps(rowSum, _mm_mul_ps(_mm_set1_ps(weights[kTaps - 1 - c][block.phaseX]), texel));
        }
        total = _mm_add_ps(total, _mm_mul_ps(_mm_set1_ps(weights[kTaps - 1 - r][block.phaseY]), rowSum));
    }
    _mm_storeu_ps(out, total);
}

#endif

// One read of a four-channel format: the tile path where the block allows it, the scalar
// template otherwise.
template <typename Format, void (*TilePath)(const KernelBlock&, const WeightTable&, float*)>
void filterRgba(const ImageBuffer* buffer, int32_t level, float u, float v, float* out) {
    KernelBlock block;
    locateBlock(buffer, level, u, v, &block);
    if (TilePath != nullptr && block.corner) {
        TilePath(block, *buffer->weightTable, out);
        return;
    }
    filterScalar<Format>(block, *buffer->weightTable, buffer->bytesPerPixel, out);
}

#if defined(__SSE2__)
constexpr auto kRgba8Tile = filterRgba8Tile;
constexpr auto kRgba16Tile = filterRgba16Tile;
constexpr auto kRgbaFloatTile = filterRgbaFloatTile;
#else
constexpr void (*kRgba8Tile)(const KernelBlock&, const WeightTable&, float*) = nullptr;
constexpr void (*kRgba16Tile)(const KernelBlock&, const WeightTable&, float*) = nullptr;
constexpr void (*kRgbaFloatTile)(const KernelBlock&, const WeightTable&, float*) = nullptr;
#endif

using LevelKernel = void (*)(const ImageBuffer*, int32_t, float, float, float*);

LevelKernel kernelFor(ImageMode imageMode) {
    switch (imageMode) {
        case ImageMode::Rgba8: return filterRgba8;
        case ImageMode::Rgba16: return filterRgba16;
        case ImageMode::RgbaFloat: return filterRgbaFloat;
    }
    VELORUND_CHECK(!"an image mode without a kernel");
    return filterRgbaFloat;
}

// The kernel position of normalised (x, y) at a level: texel centres fall on whole numbers.
float kernelCoordinate(int32_t size, float position) {
    float scaled = static_cast<float>(size) * position;
    return static_cast<float>(static_cast<double>(scaled) - 0.5);
}

}  // namespace

void filterRgba8(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterRgba<Rgba8, kRgba8Tile>(buffer, level, u, v, out);
}

void filterRgba16(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterRgba<Rgba16, kRgba16Tile>(buffer, level, u, v, out);
}

void filterRgbaFloat(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterRgba<RgbaFloat, kRgbaFloatTile>(buffer, level, u, v, out);
}

void readLevelPair(const ImageBuffer* buffer, int32_t level, float fraction, float x, float y,
                   float out[4]) {
    VELORUND_CHECK(buffer->tiles && buffer->weightTable);
    LevelKernel kernel = kernelFor(buffer->imageMode);

    // Clamp the level so that its coarser neighbour exists.
    int32_t lastPair = buffer->lastLevel - 1;
    if (level > lastPair) level = lastPair;
    if (level < 0) level = 0;

    kernel(buffer, level, kernelCoordinate(buffer->levelWidth[level], x),
           kernelCoordinate(buffer->levelHeight[level], y), out);
    if (fraction == 0.0f) return;

    float coarse[4];
    kernel(buffer, level + 1, kernelCoordinate(buffer->levelWidth[level + 1], x),
           kernelCoordinate(buffer->levelHeight[level + 1], y), coarse);
    for (int i = 0; i < 4; i++) out[i] = out[i] + (coarse[i] - out[i]) * fraction;
}
