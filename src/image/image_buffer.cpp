// The tiled image buffer: lays out the levels and 512 x 512 tiles of an image, and obtains and
// releases their working memory.
#include "image/image_buffer.h"

#include "host/work_memory.h"
#include "platform/check.h"

namespace {

// Sizes of every level and the index of the first 1 x 1 level after level 0.
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

}  // namespace

ImageModeLayout imageModeLayout(ImageMode mode) {
    switch (mode) {
        case ImageMode::Rgba8: return {4, 255.0f};
        case ImageMode::Rgba16: return {8, 32768.0f};
        case ImageMode::RgbaFloat: return {16, 1.0f};
    }
    VELORUND_CHECK(!"an image mode without a layout");
    return {16, 1.0f};
}

void resetImageBuffer(ImageBuffer* buffer, const BufferProcs* procs, const WeightTable* weightTable) {
    buffer->tileCount = 0;
    buffer->tiles = nullptr;
    buffer->tileTableBufferId = 0;
    buffer->bufferProcs = procs;
    buffer->weightTable = weightTable;
    buffer->simd = processorSimdLevel();
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
}

void freeImageBuffer(ImageBuffer* buffer) { releaseTiles(buffer, buffer->bufferProcs); }

void abandonImageBuffer(ImageBuffer* buffer, const BufferProcs* procs, const WeightTable* weightTable) {
    // The tile table can be read only when it is the module's own.
    if (buffer->tileTableBufferId == 0) releaseTiles(buffer, nullptr);
    resetImageBuffer(buffer, procs, weightTable);
}

bool createImageBuffer(ImageBuffer* buffer, int32_t width, int32_t height, ImageMode imageMode) {
    // Refuse what cannot be laid out before touching anything.
    if (width < 1 || width > kMaxImageSide || height < 1 || height > kMaxImageSide) return false;
    ImageModeLayout mode = imageModeLayout(imageMode);

    freeImageBuffer(buffer);

    // Sizes of every level and the tiles that cover them.
    LevelSizes sizes = levelSizes(width, height);
    int32_t lastLevel = sizes.lastLevel;
    int32_t tileCount = 0;
    for (int level = 0; level <= lastLevel; level++) {
        tileCount += tilesAlong(sizes.width[level]) * tilesAlong(sizes.height[level]);
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
        int32_t across = tilesAlong(sizes.width[level]);
        int32_t down = tilesAlong(sizes.height[level]);
        buffer->levelFirstTile[level] = next;
        buffer->levelTilesAcross[level] = static_cast<uint32_t>(across);
        for (int32_t row = 0; row < down; row++) {
            for (int32_t column = 0; column < across; column++, next++) {
                TileEntry& entry = tiles[next];
                entry.originY = row * kTileSize;
                entry.originX = column * kTileSize;
                entry.width = column == across - 1 ? sizes.width[level] - entry.originX : kTileSize;
                entry.height = row == down - 1 ? sizes.height[level] - entry.originY : kTileSize;
                int32_t bytes = entry.width * entry.height * static_cast<int32_t>(mode.bytesPerPixel);
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

    // Per-level values the pixel loops use, computed once; levels past the last stay zero.
    for (int level = 0; level < kMaxLevels; level++) {
        bool used = level <= lastLevel;
        buffer->levelWidth[level] = sizes.width[level];
        buffer->levelHeight[level] = sizes.height[level];
        buffer->levelLastX[level] = used ? sizes.width[level] - 1 : 0;
        buffer->levelLastY[level] = used ? sizes.height[level] - 1 : 0;
    }
    buffer->imageMode = imageMode;
    buffer->bytesPerPixel = mode.bytesPerPixel;
    buffer->invWidth = 1.0f / static_cast<float>(width);
    buffer->invHeight = 1.0f / static_cast<float>(height);
    buffer->inverseScale = 1.0f / mode.fullScale;
    return true;
}

Rect16 tileRect(const ImageBuffer* buffer, int32_t tileIndex) {
    VELORUND_CHECK(buffer->tiles && tileIndex >= 0 && tileIndex < buffer->tileCount);
    const TileEntry& entry = buffer->tiles[tileIndex];
    return {static_cast<int16_t>(entry.originY), static_cast<int16_t>(entry.originX),
            static_cast<int16_t>(entry.originY + entry.height),
            static_cast<int16_t>(entry.originX + entry.width)};
}
