// The tiled image buffer: the filter's own multi-resolution image. Level 0 holds the full
// image, each further level about half the size of the one before, down to 1 x 1; every level
// is cut into 512 x 512 tiles, each tile a separate block of working memory. The sample layout
// of all levels is fixed by the buffer's ImageMode.
//
// Pixel (x, y) of level L lies in tile levelFirstTile[L] + (y >> 9) * levelTilesAcross[L] +
// (x >> 9), at index (y & 511) * tile width + (x & 511) of that tile's block.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "platform/simd.h"

struct WeightTable;  // the resampling weights the sampler reads with a buffer (sampling layer)

constexpr int kMaxLevels = 20;
constexpr int kTileShift = 9;
constexpr int kTileSize = 1 << kTileShift;  // 512
constexpr int kTileMask = kTileSize - 1;
constexpr int32_t kMaxImageSide = 32767;    // sizes travel through 16-bit host rectangles

// Sample layouts: red, green, blue and alpha in that order, at the document's depth.
enum class ImageMode : uint32_t {
    Rgba8,      // four 8-bit samples packed in one word, channel 0 in the top byte
    Rgba16,     // four 16-bit samples, each 0..32768
    RgbaFloat,  // four float samples
};

struct ImageModeLayout {
    uint32_t bytesPerPixel;
    float fullScale;  // sample value of full intensity
};
ImageModeLayout imageModeLayout(ImageMode mode);

// One tile of one level. A fresh entry holds bufferId 0, pixels null and -1 geometry.
struct TileEntry {
    uint64_t bufferId;  // host buffer of the pixels, 0 for global memory
    uint8_t* pixels;    // width * height * bytesPerPixel bytes, rows without gaps
    int32_t originY;    // level row of the tile's top-left pixel
    int32_t originX;    // level column of the tile's top-left pixel
    int32_t width;      // pixels per row, also the row stride in pixels
    int32_t height;
};
static_assert(sizeof(TileEntry) == 32);

struct ImageBuffer {
    int32_t levelWidth[kMaxLevels];       // pixel size of each level; 0 past the last
    int32_t levelHeight[kMaxLevels];
    int32_t levelLastX[kMaxLevels];       // inclusive bounds every clamped pixel access keeps to
    int32_t levelLastY[kMaxLevels];
    int32_t lastLevel;                    // the first level that is 1 x 1
    uint32_t bytesPerPixel;
    ImageMode imageMode;
    int32_t tileCount;                    // 0 when the buffer holds no pixels
    TileEntry* tiles;
    uint64_t tileTableBufferId;
    uint32_t levelFirstTile[kMaxLevels];
    uint32_t levelLastTile[kMaxLevels];
    uint32_t levelTilesAcross[kMaxLevels];
    const BufferProcs* bufferProcs;       // the host suite every allocation and release goes through
    const WeightTable* weightTable;       // the run's resampling weights
    float invWidth;                       // 1 / level 0's width and height
    float invHeight;
    float inverseScale;                   // 1 / the sample value of full intensity
    SimdLevel simd;                       // the instruction set of the loops that read and write it
};

// Forgets any tiles without releasing them and records the memory suite and the weights; the
// instruction set is the processor's widest until the caller chooses another.
void resetImageBuffer(ImageBuffer* buffer, const BufferProcs* procs, const WeightTable* weightTable);

// Lays out and allocates every level and tile. Sizes are 1..32767. On a failed allocation
// everything this call obtained is released and the buffer is left empty. Returns false on
// failure.
bool createImageBuffer(ImageBuffer* buffer, int32_t width, int32_t height, ImageMode imageMode);

// Releases every tile and the tile table; safe on an empty buffer.
void freeImageBuffer(ImageBuffer* buffer);

// Lets go of a buffer whose host memory the host may have freed already: the tiles and table
// from global memory are released, the host's forgotten, and the buffer is reset.
void abandonImageBuffer(ImageBuffer* buffer, const BufferProcs* procs, const WeightTable* weightTable);

// The tile's rectangle within its level.
Rect16 tileRect(const ImageBuffer* buffer, int32_t tileIndex);
