// The tiled image buffer: lays out the levels and 512 x 512 tiles of an image, obtains and
// releases their working memory, and reads and writes single pixels through the tile table.
#include "image/image_buffer.h"

#include "host/work_memory.h"
#include "image/pixel_access.h"
#include "platform/check.h"

namespace {

// Unbordered sizes of every level and the index of the first 1 x 1 level after level 0.
struct LevelSizes {
    int32_t width[kMaxLevels];
    int32_t height[kMaxLevels];
    int32_t lastLevel;
};

// Halves an axis, rounding up, and keeps every result of 3 or more even; 1 stays 1.
int32_t nextLevelSide(int32_t side) {
    int32_t next = (side + 1) / 2;
    if (next >= 3 && (next & 1)) next++;
    return next;
}

LevelSizes levelSizes(int32_t width, int32_t height) {
    LevelSizes sizes = {};
    sizes.width[0] = width;
    sizes.height[0] = height;
    sizes.lastLevel = kMaxLevels - 1;
    for (int level = 1; level < kMaxLevels; level++) {
        sizes.width[level] = nextLevelSide(sizes.width[level - 1]);
        sizes.height[level] = nextLevelSide(sizes.height[level - 1]);
        if (sizes.width[level] == 1 && sizes.height[level] == 1) {
            sizes.lastLevel = level;
            break;
        }
    }
    return sizes;
}

int32_t tilesAlong(int32_t side) { return (side + kTileMask) >> kTileShift; }

// A buffer without a tile table holds no pixels: reads give 0 and writes do nothing. A level
// outside the buffer's levels is a caller's mistake.
bool hasPixels(const ImageBuffer* buffer, int32_t level) {
    if (!buffer->tiles) return false;
    VELORUND_CHECK(level >= 0 && level <= buffer->lastLevel);
    return true;
}

// Address of the pixel nearest to (x, y) inside the level, or null when there is none.
const uint8_t* clampedPixel(const ImageBuffer* buffer, int32_t level, int32_t x, int32_t y) {
    if (!hasPixels(buffer, level)) return nullptr;
    if (x < 0) x = 0;
    if (x > buffer->levelLastX[level]) x = buffer->levelLastX[level];
    if (y < 0) y = 0;
    if (y > buffer->levelLastY[level]) y = buffer->levelLastY[level];
    return pixelAddress(buffer, level, x, y);
}

}  // namespace

ImageModeLayout imageModeLayout(uint32_t imageMode) {
    switch (imageMode) {
        case kImageGray8: return {1, 255.0f};
        case kImageGray16: return {2, 32768.0f};
        case kImageHalf: return {2, 1.0f};
        case kImageRgba8: return {4, 255.0f};
        case kImageRgba16: return {8, 32768.0f};
        case kImageGrayFloat: return {4, 1.0f};
        case kImageVector16: return {6, 1.0f};
        case kImageRgbaFloat: return {16, 1.0f};
        default: return {0, 1.0f};
    }
}

void resetImageBuffer(ImageBuffer* buffer, const BufferProcs* procs, const WeightTable* weightTable) {
    buffer->tileCount = 0;
    buffer->tiles = nullptr;
    buffer->tileTableBufferId = 0;
    buffer->bufferProcs = procs;
    buffer->weightTable = weightTable;
}

// Releases every tile and the tile table through `procs`; without a usable suite a host buffer
// is forgotten, never released.
static void releaseTiles(ImageBuffer* buffer, const BufferProcs* procs) {
    if (buffer->tiles) {
        for (int32_t i = 0; i < buffer->tileCount; i++) {
            TileEntry& entry = buffer->tiles[i];
            freeWorkMemory(&entry.pixels, &entry.bufferId, procs);
        }
        freeWorkMemory(&buffer->tiles, &buffer->tileTableBufferId, procs);
    }
    buffer->tileCount = 0;
    buffer->contentTag = 0;
}

void freeImageBuffer(ImageBuffer* buffer) { releaseTiles(buffer, buffer->bufferProcs); }

void abandonImageBuffer(ImageBuffer* buffer, const BufferProcs* procs, const WeightTable* weightTable) {
    // The tile table can be read only when it is the module's own.
    if (buffer->tileTableBufferId == 0) releaseTiles(buffer, nullptr);
    resetImageBuffer(buffer, procs, weightTable);
}

bool createImageBuffer(ImageBuffer* buffer, int32_t width, int32_t height, uint32_t imageMode,
                       uint32_t wrapMode, bool hasBorder) {
    // Refuse what cannot be laid out before touching anything; a bordered level must still
    // fit a host rectangle.
    ImageModeLayout mode = imageModeLayout(imageMode);
    int32_t border = hasBorder ? 2 : 0;
    if (width < 1 || width + border > kMaxImageSide || height < 1 ||
        height + border > kMaxImageSide || mode.bytesPerPixel == 0) {
        return false;
    }

    freeImageBuffer(buffer);

    // A bordered level is addressed as four bytes per pixel whatever the mode. Tile blocks are
    // sized for the wider of the two, so that addressing never leaves a block.
    uint32_t layoutBytes = hasBorder ? 4u : mode.bytesPerPixel;
    uint32_t blockBytes = layoutBytes > mode.bytesPerPixel ? layoutBytes : mode.bytesPerPixel;

    // Sizes of every level, border included for the grids the tiles cover.
    LevelSizes inner = levelSizes(width, height);
    int32_t lastLevel = inner.lastLevel;
    int32_t gridWidth[kMaxLevels] = {};
    int32_t gridHeight[kMaxLevels] = {};
    int32_t tileCount = 0;
    for (int level = 0; level <= lastLevel; level++) {
        gridWidth[level] = inner.width[level] + border;
        gridHeight[level] = inner.height[level] + border;
        tileCount += tilesAlong(gridWidth[level]) * tilesAlong(gridHeight[level]);
    }

    // The tile table, every entry fresh until its tile is laid out.
    TileEntry* tiles = static_cast<TileEntry*>(allocateWorkMemory(
        tileCount * static_cast<int32_t>(sizeof(TileEntry)), &buffer->tileTableBufferId,
        buffer->bufferProcs));
    if (!tiles) return false;
    for (int32_t i = 0; i < tileCount; i++) tiles[i] = {0, nullptr, -1, -1, -1, -1};
    buffer->tiles = tiles;
    buffer->tileCount = tileCount;
    buffer->lastLevel = lastLevel;

    // Lay out and allocate the tiles level by level, row by row, left to right. A failure
    // releases everything this call obtained, fresh entries holding nothing to release.
    uint32_t next = 0;
    for (int level = 0; level < kMaxLevels; level++) {
        buffer->levelFirstTile[level] = 0;
        buffer->levelLastTile[level] = 0;
        buffer->levelTilesAcross[level] = 0;
        if (level > lastLevel) continue;
        int32_t across = tilesAlong(gridWidth[level]);
        int32_t down = tilesAlong(gridHeight[level]);
        buffer->levelFirstTile[level] = next;
        buffer->levelTilesAcross[level] = static_cast<uint32_t>(across);
        for (int32_t row = 0; row < down; row++) {
            for (int32_t column = 0; column < across; column++, next++) {
                TileEntry& entry = tiles[next];
                entry.originY = row * kTileSize;
                entry.originX = column * kTileSize;
                entry.width = column == across - 1 ? gridWidth[level] - entry.originX : kTileSize;
                entry.height = row == down - 1 ? gridHeight[level] - entry.originY : kTileSize;
                int32_t bytes = entry.width * entry.height * static_cast<int32_t>(blockBytes);
                entry.pixels = static_cast<uint8_t*>(
                    allocateWorkMemory(bytes, &entry.bufferId, buffer->bufferProcs));
                if (!entry.pixels) {
                    freeImageBuffer(buffer);
                    return false;
                }
                buffer->levelLastTile[level] = next;
            }
        }
    }

    buffer->imageMode = imageMode;

    // Per-level values the pixel loops use, computed once; levels past the last stay zero.
    for (int level = 0; level < kMaxLevels; level++) {
        bool used = level <= lastLevel;
        int32_t w = gridWidth[level];
        int32_t h = gridHeight[level];
        buffer->levelWidth[level] = buffer->sampleWidth[level] = w;
        buffer->levelHeight[level] = buffer->sampleHeight[level] = h;
        buffer->levelLastX[level] = used ? w - 1 : 0;
        buffer->levelLastY[level] = used ? h - 1 : 0;
        buffer->levelMaxX[level] = static_cast<float>(buffer->levelLastX[level]);
        buffer->levelInvWidth[level] = used ? 1.0f / static_cast<float>(inner.width[level]) : 0.0f;
        buffer->levelInvHeight[level] = used ? 1.0f / static_cast<float>(inner.height[level]) : 0.0f;
    }
    buffer->bytesPerPixel = layoutBytes;
    buffer->wrapMode = wrapMode;
    buffer->edgeMode = kEdgeClamp;
    buffer->inverseScale = 1.0f / mode.fullScale;
    buffer->contentTag = 0;
    return true;
}

Rect16 tileRect(const ImageBuffer* buffer, int32_t tileIndex) {
    VELORUND_CHECK(buffer->tiles && tileIndex >= 0 && tileIndex < buffer->tileCount);
    const TileEntry& entry = buffer->tiles[tileIndex];
    return {static_cast<int16_t>(entry.originY), static_cast<int16_t>(entry.originX),
            static_cast<int16_t>(entry.originY + entry.height),
            static_cast<int16_t>(entry.originX + entry.width)};
}

void setPixel(int32_t x, int32_t y, ImageBuffer* buffer, int32_t level, uint32_t c0, uint32_t c1,
              uint32_t c2, uint32_t c3) {
    if (!hasPixels(buffer, level)) return;
    if (x < 0 || x > buffer->levelLastX[level] || y < 0 || y > buffer->levelLastY[level]) return;
    uint8_t* p = pixelAddress(buffer, level, x, y);
    switch (buffer->imageMode) {
        case kImageGray8:
            *p = static_cast<uint8_t>(c0);
            break;
        case kImageGray16:
        case kImageHalf:
            storeSample<uint16_t>(p, static_cast<uint16_t>(c0));
            break;
        case kImageGrayFloat:
            storeSample<uint32_t>(p, c0);
            break;
        case kImageRgba8:
            storeSample<uint32_t>(p,
                                  (c0 << 24) | ((c1 & 255) << 16) | ((c2 & 255) << 8) | (c3 & 255));
            break;
        case kImageRgba16:
            storeSample<uint16_t>(p, static_cast<uint16_t>(c0));
            storeSample<uint16_t>(p + 2, static_cast<uint16_t>(c1));
            storeSample<uint16_t>(p + 4, static_cast<uint16_t>(c2));
            storeSample<uint16_t>(p + 6, static_cast<uint16_t>(c3));
            break;
        case kImageVector16:
            storeSample<uint16_t>(p, static_cast<uint16_t>(c0));
            storeSample<uint16_t>(p + 2, static_cast<uint16_t>(c1));
            storeSample<uint16_t>(p + 4, static_cast<uint16_t>(c2));
            break;
        case kImageRgbaFloat:
            storeSample<uint32_t>(p, c0);
            storeSample<uint32_t>(p + 4, c1);
            storeSample<uint32_t>(p + 8, c2);
            storeSample<uint32_t>(p + 12, c3);
            break;
        default:
            break;
    }
}

uint32_t getPixel32(int32_t x, int32_t y, const ImageBuffer* buffer, int32_t level) {
    const uint8_t* p = clampedPixel(buffer, level, x, y);
    if (!p) return 0;
    if (buffer->imageMode != kImageRgba8 && buffer->imageMode != kImageGrayFloat) return 0;
    return loadSample<uint32_t>(p);
}

void getPixel4(int32_t x, int32_t y, const ImageBuffer* buffer, int32_t level, uint32_t* c0,
               uint32_t* c1, uint32_t* c2, uint32_t* c3) {
    const uint8_t* p = clampedPixel(buffer, level, x, y);
    if (!p) return;
    switch (buffer->imageMode) {
        case kImageRgba8: {
            uint32_t word = loadSample<uint32_t>(p);
            *c0 = word >> 24;
            *c1 = (word >> 16) & 255;
            *c2 = (word >> 8) & 255;
            *c3 = word & 255;
            break;
        }
        case kImageRgba16:
            *c0 = loadSample<uint16_t>(p);
            *c1 = loadSample<uint16_t>(p + 2);
            *c2 = loadSample<uint16_t>(p + 4);
            *c3 = loadSample<uint16_t>(p + 6);
            break;
        case kImageVector16:
            *c0 = static_cast<uint32_t>(static_cast<int32_t>(loadSample<int16_t>(p)));
            *c1 = static_cast<uint32_t>(static_cast<int32_t>(loadSample<int16_t>(p + 2)));
            *c2 = static_cast<uint32_t>(static_cast<int32_t>(loadSample<int16_t>(p + 4)));
            break;
        case kImageRgbaFloat:
            *c0 = loadSample<uint32_t>(p);
            *c1 = loadSample<uint32_t>(p + 4);
            *c2 = loadSample<uint32_t>(p + 8);
            *c3 = loadSample<uint32_t>(p + 12);
            break;
        default:
            break;
    }
}

uint32_t getPixel1(int32_t x, int32_t y, const ImageBuffer* buffer, int32_t level) {
    const uint8_t* p = clampedPixel(buffer, level, x, y);
    if (!p) return 0;
    switch (buffer->imageMode) {
        case kImageGray8: return *p;
        case kImageGray16:
        case kImageHalf: return loadSample<uint16_t>(p);
        case kImageGrayFloat: return loadSample<uint32_t>(p);
        default: return 0;
    }
}
