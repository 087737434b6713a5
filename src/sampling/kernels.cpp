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
#include "sampling/kernels.h"

#include <algorithm>
#include <bit>

#include "image/pixel_access.h"
#include "platform/check.h"
#include "sampling/weight_table.h"

namespace {

constexpr int kTaps = kWeightTaps;
constexpr int kBlockReach = 2;                      // taps from -2 to +2 around the base texel
constexpr int32_t kFastBlockLimit = kTileSize - kTaps;  // last block start inside one tile
constexpr float kMaxKernelCoordinate = 8388608.0f;  // 2^23: every float from here up is whole

// The texels of one kernel read and the phases that pick their weights.
struct KernelBlock {
    const uint8_t* texel[kTaps][kTaps];  // [row][column], offset -2 first
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

KernelBlock locateBlock(const ImageBuffer* buffer, int32_t level, float u, float v) {
    KernelBlock block;
    int32_t bx, by;
    splitCoordinate(u, &bx, &block.phaseX);
    splitCoordinate(v, &by, &block.phaseY);
    int32_t lastX = buffer->levelLastX[level];
    int32_t lastY = buffer->levelLastY[level];
    int32_t left = bx - kBlockReach;
    int32_t top = by - kBlockReach;
    uint32_t bytes = buffer->bytesPerPixel;

    // Fast path: inside the level and inside one tile, read along the tile's rows.
    if (bx >= kBlockReach && bx <= lastX - kBlockReach && by >= kBlockReach &&
        by <= lastY - kBlockReach && (left & kTileMask) <= kFastBlockLimit &&
        (top & kTileMask) <= kFastBlockLimit) {
        const uint8_t* corner = pixelAddress(buffer, level, left, top);
        size_t stride = static_cast<size_t>(tileOf(buffer, level, left, top).width) * bytes;
        for (int r = 0; r < kTaps; r++) {
            for (int c = 0; c < kTaps; c++) block.texel[r][c] = corner + r * stride + c * bytes;
        }
        return block;
    }

    // General path: every tap clamped to the level's edge and found through its own tile.
    int32_t columns[kTaps];
    for (int c = 0; c < kTaps; c++) columns[c] = std::clamp(left + c, 0, lastX);
    for (int r = 0; r < kTaps; r++) {
        int32_t row = std::clamp(top + r, 0, lastY);
        for (int c = 0; c < kTaps; c++) {
            block.texel[r][c] = pixelAddress(buffer, level, columns[c], row);
        }
    }
    return block;
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

struct Gray8 : Rgba8 {
    static constexpr int kChannels = 1;
    static void load(const uint8_t* p, Sum* c) { c[0] = *p; }
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

struct Gray16 : Rgba16 {
    static constexpr int kChannels = 1;
    static void load(const uint8_t* p, Sum* c) { c[0] = loadSample<uint16_t>(p); }
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

template <typename Format>
void filterBlock(const ImageBuffer* buffer, int32_t level, float u, float v, float* out) {
    using Sum = typename Format::Sum;
    constexpr int kChannels = Format::kChannels;
    KernelBlock block = locateBlock(buffer, level, u, v);
    const auto& weights = Format::weights(*buffer->weightTable);

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
            Format::load(block.texel[r][c], texel);
            for (int i = 0; i < kChannels; i++) rowSum[i] += columnWeight[c] * texel[i];
        }
        Sum rowWeight = static_cast<Sum>(weights[kTaps - 1 - r][block.phaseY]);
        for (int i = 0; i < kChannels; i++) total[i] += rowWeight * Format::rowScale(rowSum[i]);
    }
    for (int i = 0; i < kChannels; i++) out[i] = asFloat(total[i]) * Format::kResultScale;
}

template <typename Format>
float filterOne(const ImageBuffer* buffer, int32_t level, float u, float v) {
    float value;
    filterBlock<Format>(buffer, level, u, v, &value);
    return value;
}

// A one-channel kernel as a four-channel read: grey in channels 0..2, full alpha in 3.
template <float (*Kernel)(const ImageBuffer*, int32_t, float, float), int kFullAlpha>
void filterGrayAsRgba(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    float grey = Kernel(buffer, level, u, v);
    out[0] = out[1] = out[2] = grey;
    out[3] = static_cast<float>(kFullAlpha);
}

using LevelKernel = void (*)(const ImageBuffer*, int32_t, float, float, float*);

LevelKernel kernelFor(uint32_t imageMode) {
    switch (imageMode) {
        case kImageRgba8: return filterRgba8;
        case kImageRgba16: return filterRgba16;
        case kImageRgbaFloat: return filterRgbaFloat;
        case kImageGray8: return filterGrayAsRgba<filterGray8, 255>;
        case kImageGray16: return filterGrayAsRgba<filterGray16, 32768>;
        default: return nullptr;
    }
}

// The kernel position of normalised (x, y) at a level: texel centres fall on whole numbers.
float kernelCoordinate(int32_t size, float position) {
    float scaled = static_cast<float>(size) * position;
    return static_cast<float>(static_cast<double>(scaled) - 0.5);
}

}  // namespace

void filterRgba8(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterBlock<Rgba8>(buffer, level, u, v, out);
}

void filterRgba16(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterBlock<Rgba16>(buffer, level, u, v, out);
}

void filterRgbaFloat(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterBlock<RgbaFloat>(buffer, level, u, v, out);
}

float filterGray8(const ImageBuffer* buffer, int32_t level, float u, float v) {
    return filterOne<Gray8>(buffer, level, u, v);
}

float filterGray16(const ImageBuffer* buffer, int32_t level, float u, float v) {
    return filterOne<Gray16>(buffer, level, u, v);
}

void readLevelPair(const ImageBuffer* buffer, int32_t level, float fraction, float x, float y,
                   float out[4]) {
    for (int i = 0; i < 4; i++) out[i] = 0.0f;
    VELORUND_CHECK(buffer->tiles && buffer->weightTable);
    LevelKernel kernel = kernelFor(buffer->imageMode);
    if (!kernel) return;

    // Clamp the level so that its coarser neighbour exists.
    int32_t lastPair = buffer->lastLevel - 1;
    if (level > lastPair) level = lastPair;
    if (level < 0) level = 0;

    kernel(buffer, level, kernelCoordinate(buffer->sampleWidth[level], x),
           kernelCoordinate(buffer->sampleHeight[level], y), out);
    if (fraction == 0.0f) return;

    float coarse[4];
    kernel(buffer, level + 1, kernelCoordinate(buffer->sampleWidth[level + 1], x),
           kernelCoordinate(buffer->sampleHeight[level + 1], y), coarse);
    for (int i = 0; i < 4; i++) out[i] = out[i] + (coarse[i] - out[i]) * fraction;
}
