// The tiled image buffer: the filter's own multi-resolution image. Level 0 holds the full
// image, each further level about half the size of the one before, down to 1 x 1; every level
// is cut into 512 x 512 tiles, each tile a separate block of working memory. The sample layout
// of all levels is fixed by the buffer's ImageMode.
//
// Pixel (x, y) of level L lies in tile levelFirstTile[L] + (y >> 9) * levelTilesAcross[L] +
// (x >> 9), at index (y & 511) * tile width + (x & 511) of that tile's block. Writes outside a
// level are ignored; reads are clamped into it.
#pragma once

#include <cstdint>

#include "host/host_api.h"

struct WeightTable;  // the resampling weights the sampler reads with a buffer (sampling layer)

constexpr int kMaxLevels = 20;
constexpr int kTileShift = 9;
constexpr int kTileSize = 1 << kTileShift;  // 512
constexpr int kTileMask = kTileSize - 1;
constexpr int32_t kMaxImageSide = 32767;    // sizes travel through 16-bit host rectangles

// Sample layouts. Four-channel layouts hold red, green, blue and alpha in that order.
enum ImageMode : uint32_t {
    kImageGray8 = 0,      // one 8-bit sample
    kImageGray16 = 1,     // one 16-bit sample, 0..32768
    kImageHalf = 2,       // one 16-bit sample that nothing reads or writes
    kImageRgba8 = 3,      // four 8-bit samples packed in one word, channel 0 in the top byte
    kImageRgba16 = 4,     // four 16-bit samples, each 0..32768
    kImageGrayFloat = 5,  // one float sample
    kImageVector16 = 7,   // three signed 16-bit samples
    kImageRgbaFloat = 9,  // four float samples
};

struct ImageModeLayout {
    uint32_t bytesPerPixel;  // 0 for codes without a layout
    float fullScale;         // sample value of full intensity
};

// Layout of an ImageMode code; codes without a layout (6, 8, above 9) give bytesPerPixel 0.
ImageModeLayout imageModeLayout(uint32_t imageMode);

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
    int32_t levelWidth[kMaxLevels];       // pixel size of each level, border included
    int32_t levelHeight[kMaxLevels];
    int32_t sampleWidth[kMaxLevels];      // the same, as the sampler scales coordinates by them
    int32_t sampleHeight[kMaxLevels];
    float levelMaxX[kMaxLevels];          // levelWidth - 1 as a float: the map grid's lookup scale
    int32_t levelLastX[kMaxLevels];       // inclusive bounds every pixel access checks or clamps
    int32_t levelLastY[kMaxLevels];
    int32_t lastLevel;                    // the first level that is 1 x 1
    uint32_t bytesPerPixel;
    uint32_t imageMode;
    int32_t tileCount;                    // 0 when the buffer holds no pixels
    TileEntry* tiles;
    uint64_t tileTableBufferId;
    uint32_t levelFirstTile[kMaxLevels];
    uint32_t levelLastTile[kMaxLevels];
    uint32_t levelTilesAcross[kMaxLevels];
    const BufferProcs* bufferProcs;       // the host suite every allocation and release goes through
    const WeightTable* weightTable;       // the run's resampling weights, shared by its buffers
    float levelInvWidth[kMaxLevels];      // 1 / the level's width and height without the border
    float levelInvHeight[kMaxLevels];
    uint32_t wrapMode;                    // 0 clamp, 1 wrap both axes, 2 wrap x; ~0 skips the pyramid
    uint32_t edgeMode;                    // the sampler's rule outside 0..1; 3 at creation
    float inverseScale;                   // 1 / the sample value of full intensity
    uint32_t contentTag;                  // 0 after creation; an owner's nonzero mark once filled
};

constexpr uint32_t kWrapClamp = 0;
constexpr uint32_t kWrapNoPyramid = 0xFFFFFFFFu;
constexpr uint32_t kEdgeClamp = 3;

// Forgets any tiles without releasing them and records the memory suite and the weights.
void resetImageBuffer(ImageBuffer* buffer, const BufferProcs* procs, const WeightTable* weightTable);

// Lays out and allocates every level and tile. Sizes are 1..32767; modes without a layout are
// refused. On a failed allocation everything this call obtained is released and the buffer is
// left empty. Returns false on failure.
bool createImageBuffer(ImageBuffer* buffer, int32_t width, int32_t height, uint32_t imageMode,
                       uint32_t wrapMode, bool hasBorder);

// Releases every tile and the tile table; safe on an empty buffer.
void freeImageBuffer(ImageBuffer* buffer);

// Lets go of a buffer whose host memory the host may have freed already: the tiles and table
// from global memory are released, the host's forgotten, and the buffer is reset.
void abandonImageBuffer(ImageBuffer* buffer, const BufferProcs* procs, const WeightTable* weightTable);

// The tile's rectangle within its level.
Rect16 tileRect(const ImageBuffer* buffer, int32_t tileIndex);

// Writes one pixel if it lies inside the level. Mode 3 packs c0..c3 into bytes, mode 4 stores
// four 16-bit samples, mode 9 four raw 32-bit words (float bit patterns), mode 7 c0..c2 as
// 16-bit samples, the one-channel modes c0.
void setPixel(int32_t x, int32_t y, ImageBuffer* buffer, int32_t level, uint32_t c0, uint32_t c1,
              uint32_t c2, uint32_t c3);

// The 32-bit word of a four-byte pixel (mode 3 packed, mode 5 float bits), clamped into the
// level; 0 without a tile table or for other layouts.
uint32_t getPixel32(int32_t x, int32_t y, const ImageBuffer* buffer, int32_t level);

// The channels of one pixel, clamped into the level: mode 3 unpacked bytes, mode 4 the 16-bit
// samples, mode 9 raw float bits, mode 7 three sign-extended samples (c3 untouched). Other
// modes write nothing.
void getPixel4(int32_t x, int32_t y, const ImageBuffer* buffer, int32_t level, uint32_t* c0,
               uint32_t* c1, uint32_t* c2, uint32_t* c3);

// One sample of a one-channel pixel, clamped into the level: mode 0 the byte, modes 1 and 2 the
// 16-bit sample, mode 5 the float bits; 0 without a tile table or for other layouts.
uint32_t getPixel1(int32_t x, int32_t y, const ImageBuffer* buffer, int32_t level);
