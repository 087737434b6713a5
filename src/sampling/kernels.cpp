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
// Blocks inside one tile take the vector kernels of the run's instruction set
// (sampling/tile_block_lanes.h): one block per 128-bit lane, one or two at a time. Their
// results are the scalar template's to the bit: integer sums are exact whatever order they are
// formed in, and the float kernel keeps the template's order of products and sums, channel by
// channel, one float lane per channel.
#include "sampling/kernels.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "image/pixel_access.h"
#include "platform/check.h"
#include "platform/lane_ops.h"
#include "sampling/weight_table.h"

namespace {

constexpr int kTaps = kWeightTaps;

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

// Whether the block around base texel (bx, by) lies inside the level and inside one tile.
bool insideOneTile(const ImageBuffer* buffer, int32_t level, int32_t bx, int32_t by) {
    int32_t left = bx - kBlockReach, top = by - kBlockReach;
    return bx >= kBlockReach && bx <= buffer->levelLastX[level] - kBlockReach && by >= kBlockReach &&
           by <= buffer->levelLastY[level] - kBlockReach && (left & kTileMask) <= kFastBlockLimit &&
           (top & kTileMask) <= kFastBlockLimit;
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
    if (insideOneTile(buffer, level, bx, by)) {
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
    static constexpr uint32_t kBytes = 4;
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
    static constexpr uint32_t kBytes = 8;
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
    static constexpr uint32_t kBytes = 16;
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

#if defined(VELORUND_X86)

namespace sse2 {
using namespace lane_ops_sse2;
#include "sampling/tile_block_lanes.h"
}  // namespace sse2

#include "platform/simd_avx2_begin.h"
namespace avx2 {
using namespace lane_ops_avx2;
#include "sampling/tile_block_lanes.h"
}  // namespace avx2
#include "platform/simd_target_end.h"

#endif

// The portable kernel for reads inside one tile: the scalar template, block by block.
template <typename Format>
void filterBlocksScalar(const TileBlock* blocks, int32_t count, const WeightTable& table, float (*out)[4]) {
    for (int32_t i = 0; i < count; i++) {
        KernelBlock block;
        block.corner = blocks[i].corner;
        block.stride = static_cast<size_t>(blocks[i].stride);
        block.phaseX = blocks[i].phaseX;
        block.phaseY = blocks[i].phaseY;
        filterScalar<Format>(block, table, Format::kBytes, out[i]);
    }
}

// One read of a four-channel format: the scalar template on the portable instruction set, else
// the run's vector kernel, on a copy of the texels where the block does not lie inside one tile.
template <typename Format>
void filterRgba(const ImageBuffer* buffer, int32_t level, float u, float v, float* out) {
    if (buffer->simd == SimdLevel::Portable) {
        KernelBlock block;
        locateBlock(buffer, level, u, v, &block);
        filterScalar<Format>(block, *buffer->weightTable, buffer->bytesPerPixel, out);
        return;
    }
    uint8_t scratch[kBlockScratchBytes];
    TileBlock block = blockToRead(buffer, level, u, v, scratch);
    tileBlockKernel(buffer->simd, buffer->imageMode)(&block, 1, *buffer->weightTable,
                                                     reinterpret_cast<float(*)[4]>(out));
}

// The kernel position of normalised (x, y) at a level: texel centres fall on whole numbers.
float kernelCoordinate(int32_t size, float position) {
    float scaled = static_cast<float>(size) * position;
    return static_cast<float>(static_cast<double>(scaled) - 0.5);
}

}  // namespace

void filterRgba8(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterRgba<Rgba8>(buffer, level, u, v, out);
}

void filterRgba16(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterRgba<Rgba16>(buffer, level, u, v, out);
}

void filterRgbaFloat(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    filterRgba<RgbaFloat>(buffer, level, u, v, out);
}

// The texels of a clamped block into rows of five, each texel found through its tile.
// The columns of a block lie in at most two tiles: the one of its first column and the next;
// each row's start is found once in each.
template <size_t kBytes>
void copyClampedBlock(const ImageBuffer* buffer, int32_t level, int32_t left, int32_t top, uint8_t* scratch) {
    const int32_t lastX = buffer->levelLastX[level], lastY = buffer->levelLastY[level];
    const int32_t firstTileColumn = std::clamp(left, 0, lastX) >> kTileShift;
    int32_t nextTile[kTaps];
    size_t offset[kTaps];
    for (int c = 0; c < kTaps; c++) {
        int32_t x = std::clamp(left + c, 0, lastX);
        nextTile[c] = (x >> kTileShift) - firstTileColumn;
        offset[c] = static_cast<size_t>(x & kTileMask) * kBytes;
    }
    const TileEntry* tiles = buffer->tiles + buffer->levelFirstTile[level];
    const uint32_t across = buffer->levelTilesAcross[level];
    for (int r = 0; r < kTaps; r++) {
        int32_t y = std::clamp(top + r, 0, lastY);
        const TileEntry* tileRow = tiles + static_cast<uint32_t>(y >> kTileShift) * across + firstTileColumn;
        const size_t row = static_cast<size_t>(y & kTileMask);
        const uint8_t* rowStart[2] = {tileRow[0].pixels + row * static_cast<size_t>(tileRow[0].width) * kBytes, nullptr};
        if (nextTile[kTaps - 1]) rowStart[1] = tileRow[1].pixels + row * static_cast<size_t>(tileRow[1].width) * kBytes;
        for (int c = 0; c < kTaps; c++)
            std::memcpy(scratch + (r * kTaps + c) * kBytes, rowStart[nextTile[c]] + offset[c], kBytes);
    }
}

TileBlock blockToRead(const ImageBuffer* buffer, int32_t level, float u, float v, uint8_t* scratch) {
    int32_t bx, by, phaseX, phaseY;
    splitCoordinate(u, &bx, &phaseX);
    splitCoordinate(v, &by, &phaseY);
    int32_t left = bx - kBlockReach, top = by - kBlockReach;
    if (insideOneTile(buffer, level, bx, by)) {
        return {pixelAddress(buffer, level, left, top),
                tileOf(buffer, level, left, top).width * static_cast<int32_t>(buffer->bytesPerPixel), phaseX, phaseY};
    }
    switch (buffer->bytesPerPixel) {
        case 4: copyClampedBlock<4>(buffer, level, left, top, scratch); break;
        case 8: copyClampedBlock<8>(buffer, level, left, top, scratch); break;
        default: copyClampedBlock<16>(buffer, level, left, top, scratch); break;
    }
    return {scratch, static_cast<int32_t>(kTaps * buffer->bytesPerPixel), phaseX, phaseY};
}

void filterLevel(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]) {
    switch (buffer->imageMode) {
        case ImageMode::Rgba8: filterRgba8(buffer, level, u, v, out); return;
        case ImageMode::Rgba16: filterRgba16(buffer, level, u, v, out); return;
        case ImageMode::RgbaFloat: filterRgbaFloat(buffer, level, u, v, out); return;
    }
    VELORUND_CHECK(!"an image mode without a kernel");
}

TileBlockKernel tileBlockKernel(SimdLevel simd, ImageMode imageMode) {
    constexpr int32_t kModes = 3;
    static const TileBlockKernel kernels[kSimdLevels][kModes] = {
        {filterBlocksScalar<Rgba8>, filterBlocksScalar<Rgba16>, filterBlocksScalar<RgbaFloat>},
#if defined(VELORUND_X86)
        {sse2::filterBlocks8, sse2::filterBlocks16, sse2::filterBlocksFloat},
        {avx2::filterBlocks8, avx2::filterBlocks16, avx2::filterBlocksFloat},
        // Four reads to a 512-bit vector took twice as long a read as two to a 256-bit one
        // on the processor measured (docs/performance.md): the widest set keeps AVX2's.
        {avx2::filterBlocks8, avx2::filterBlocks16, avx2::filterBlocksFloat},
#endif
    };
    int32_t level = static_cast<int32_t>(simd), mode = static_cast<int32_t>(imageMode);
    VELORUND_CHECK(level >= 0 && level < kSimdLevels && kernels[level][0] && mode >= 0 && mode < kModes);
    return kernels[level][mode];
}

void readLevelPair(const ImageBuffer* buffer, int32_t level, float fraction, float x, float y,
                   float out[4]) {
    VELORUND_CHECK(buffer->tiles && buffer->weightTable);

    // Clamp the level so that its coarser neighbour exists.
    int32_t lastPair = buffer->lastLevel - 1;
    if (level > lastPair) level = lastPair;
    if (level < 0) level = 0;

    filterLevel(buffer, level, kernelCoordinate(buffer->levelWidth[level], x),
                kernelCoordinate(buffer->levelHeight[level], y), out);
    if (fraction == 0.0f) return;

    float coarse[4];
    filterLevel(buffer, level + 1, kernelCoordinate(buffer->levelWidth[level + 1], x),
                kernelCoordinate(buffer->levelHeight[level + 1], y), coarse);
    for (int i = 0; i < 4; i++) out[i] = out[i] + (coarse[i] - out[i]) * fraction;
}
