// Raw pixel access shared by the loops that read and write image buffers: sample loads and
// stores that make no assumption about a block's alignment, and the address of a pixel through
// the tile table.
#pragma once

#include <cstdint>
#include <cstring>

#include "image/image_buffer.h"

template <typename T>
inline T loadSample(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void storeSample(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// The tile entry that holds pixel (x, y) of a level; the caller keeps (x, y) inside the level.
inline const TileEntry& tileOf(const ImageBuffer* buffer, int32_t level, int32_t x, int32_t y) {
    uint32_t tile = buffer->levelFirstTile[level] +
                    static_cast<uint32_t>(y >> kTileShift) * buffer->levelTilesAcross[level] +
                    static_cast<uint32_t>(x >> kTileShift);
    return buffer->tiles[tile];
}

// Address of pixel (x, y) of a level, which the caller keeps inside the level.
inline uint8_t* pixelAddress(const ImageBuffer* buffer, int32_t level, int32_t x, int32_t y) {
    const TileEntry& entry = tileOf(buffer, level, x, y);
    size_t index = static_cast<size_t>(y & kTileMask) * static_cast<size_t>(entry.width) +
                   static_cast<size_t>(x & kTileMask);
    return entry.pixels + index * buffer->bytesPerPixel;
}
