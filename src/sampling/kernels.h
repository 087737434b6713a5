// The resampling kernels: a 5 x 5 separable windowed-sinc read of one pyramid level, one kernel
// per sample format, and the level-pair read the texture sampler calls for every probe.
// Results are on the data's own scale (0..255, 0..32768 or the stored floats); they are not
// clamped, as the kernel's negative lobes may carry them slightly past the range.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/image_buffer.h"
#include "platform/simd.h"
#include "sampling/weight_table.h"

constexpr int32_t kBlockReach = 2;                             // taps from -2 to +2 around the base texel
constexpr int32_t kFastBlockLimit = kTileSize - kWeightTaps;   // last block start inside one tile
constexpr float kMaxKernelCoordinate = 8388608.0f;             // 2^23: every float from here up is whole

// The four channels at normalised position (x, y), filtered at `level` and blended towards the
// next coarser level by `fraction` (0 reads one level). The level is clamped to
// 0..lastLevel - 1 so that its successor exists. Positions below 0 read as 0. The buffer must
// hold pixels and weights.
void readLevelPair(const ImageBuffer* buffer, int32_t level, float fraction, float x, float y,
                   float out[4]);

// One read of a level (0..lastLevel of a buffer with pixels and weights) at kernel position
// (u, v), in texels of that level with texel centres at whole numbers. Taps outside the level
// repeat its edge.
void filterRgba8(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]);
void filterRgba16(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]);
void filterRgbaFloat(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]);

// The kernel of the buffer's format.
void filterLevel(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]);

// A read whose 5 x 5 block lies inside one tile, away from its level's edges: the block's
// top-left texel, the tile's row stride in bytes, and the phases of its weights (0..127).
struct TileBlock {
    const uint8_t* corner;
    int32_t stride;
    int32_t phaseX;
    int32_t phaseY;
};

// The block of a read at kernel position (u, v) of a level as a TileBlock: where it lies inside
// one tile, that tile's texels; elsewhere its 25 texels, each clamped to the level's edge,
// copied into `scratch` (kBlockScratchBytes), five rows of five.
constexpr size_t kBlockScratchBytes = kWeightTaps * kWeightTaps * 16;
TileBlock blockToRead(const ImageBuffer* buffer, int32_t level, float u, float v, uint8_t* scratch);

// Filters `count` such reads of one format into out, the bits of the format's kernel for each;
// the vector kernels take one to four at a time.
typedef void (*TileBlockKernel)(const TileBlock* blocks, int32_t count, const WeightTable& table, float (*out)[4]);
TileBlockKernel tileBlockKernel(SimdLevel simd, ImageMode imageMode);
