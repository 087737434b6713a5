// Plane import from the host's interleaved rows into source tiles, one loop per sample format.
#include "run/plane_import.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "image/pixel_access.h"
#include "platform/check.h"

namespace {

// Where the samples of one tile are in the host's buffer and which planes to read.
struct PlaneLayout {
    int32_t planes;       // interleaved samples per pixel
    int32_t rowSamples;   // samples from one row to the next
    int32_t green, blue;  // plane of each colour channel; red is plane 0
    int32_t alpha;        // the transparency plane, or -1 for full-scale alpha
};

void storeRgba8(uint8_t* pixel, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    storeSample<uint32_t>(pixel, uint32_t{r} << 24 | uint32_t{g} << 16 | uint32_t{b} << 8 | a);
}

template <typename Sample>
void storeRgba(uint8_t* pixel, Sample r, Sample g, Sample b, Sample a) {
    const Sample channels[4] = {r, g, b, a};
    std::memcpy(pixel, channels, sizeof channels);
}

// Rows first .. last of a tile. RGB without transparency and RGB with it after the colours take
// a loop of their own, straight for the compiler.
template <typename Sample, void (*Store)(uint8_t*, Sample, Sample, Sample, Sample)>
void copyRows(const TileEntry& tile, const Sample* host, const PlaneLayout& layout, Sample opaque,
              uint32_t bytesPerPixel, int32_t first, int32_t last) {
    const bool rgb = layout.green == 1 && layout.blue == 2;
    for (int32_t y = first; y <= last; y++) {
        const Sample* p = host + static_cast<ptrdiff_t>(y) * layout.rowSamples;
        uint8_t* out = tile.pixels + static_cast<size_t>(y) * static_cast<size_t>(tile.width) * bytesPerPixel;
        if (rgb && layout.alpha < 0 && layout.planes == 3) {
            for (int32_t x = 0; x < tile.width; x++, p += 3, out += bytesPerPixel) Store(out, p[0], p[1], p[2], opaque);
        } else if (rgb && layout.alpha == 3 && layout.planes == 4) {
            for (int32_t x = 0; x < tile.width; x++, p += 4, out += bytesPerPixel) Store(out, p[0], p[1], p[2], p[3]);
        } else {
            for (int32_t x = 0; x < tile.width; x++, p += layout.planes, out += bytesPerPixel) {
                Sample a = layout.alpha >= 0 ? p[layout.alpha] : opaque;
                Store(out, p[0], p[layout.green], p[layout.blue], a);
            }
        }
    }
}

}  // namespace

void convertTileRows(ImageBuffer* source, const DocumentFormat* format, const FilterRecord* record,
                     int32_t tileIndex, int32_t firstRow, int32_t lastRow) {
    VELORUND_CHECK(source->imageMode == format->sourceImageMode && source->tiles &&
                   tileIndex >= 0 && tileIndex < source->tileCount);
    const TileEntry& tile = source->tiles[tileIndex];
    if (!record->inData) return;

    PlaneLayout layout;
    layout.planes = record->inHiPlane - record->inLoPlane + 1;
    layout.rowSamples = record->inRowBytes / format->sampleBytes;
    layout.green = format->rgb ? 1 : 0;
    layout.blue = format->rgb ? 2 : 0;
    layout.alpha = format->inputAlphaPlane;

    // A delivery without the planes or the row length the tile needs would be read past its
    // end; such a tile keeps what it held. Rows stored bottom-up come with a negative stride.
    int32_t planesRead = std::max(layout.blue, layout.alpha) + 1;
    if (layout.alpha < -1 || layout.planes < planesRead) return;
    if (std::abs(layout.rowSamples) < tile.width * layout.planes) return;

    VELORUND_CHECK(firstRow >= 0 && lastRow < tile.height);
    switch (source->imageMode) {
        case ImageMode::Rgba8:
            copyRows<uint8_t, storeRgba8>(tile, static_cast<const uint8_t*>(record->inData), layout, 255,
                                          source->bytesPerPixel, firstRow, lastRow);
            break;
        case ImageMode::Rgba16:
            copyRows<uint16_t, storeRgba<uint16_t>>(tile, static_cast<const uint16_t*>(record->inData), layout, 32768,
                                                    source->bytesPerPixel, firstRow, lastRow);
            break;
        case ImageMode::RgbaFloat:
            copyRows<float, storeRgba<float>>(tile, static_cast<const float*>(record->inData), layout, 1.0f,
                                              source->bytesPerPixel, firstRow, lastRow);
            break;
    }
}

void convertTile(ImageBuffer* source, const DocumentFormat* format, const FilterRecord* record,
                 int32_t tileIndex) {
    VELORUND_CHECK(source->tiles && tileIndex >= 0 && tileIndex < source->tileCount);
    convertTileRows(source, format, record, tileIndex, 0, source->tiles[tileIndex].height - 1);
}
