// The eight EXIF orientations as pixel rearrangements. Orientation o says how the stored pixels
// are to be shown: 2 mirrored, 3 turned half round, 4 flipped, 5 transposed, 6 turned a quarter
// clockwise, 7 transversed, 8 turned a quarter anticlockwise. 5 to 8 swap width and height.
#include "orientation.h"

#include <cstring>
#include <utility>

#include "metadata.h"

namespace cli {

bool turnUpright(Image& image, const std::function<bool()>& stop) {
    const int32_t o = image.orientation >= 2 && image.orientation <= 8 ? image.orientation : 1;
    const bool swaps = o >= 5;
    const int32_t w = image.width, h = image.height;
    const int32_t shownWidth = swaps ? h : w, shownHeight = swaps ? w : h;

    // Each shown pixel (x, y) comes from the stored pixel (sx, sy).
    if (o != 1) {
        const size_t pixelBytes = static_cast<size_t>(image.channels) * sampleBytes(image);
        Samples shown(image.samples.size());
        uint8_t* out = shown.data();
        for (int32_t y = 0; y < shownHeight; y++) {
            if (stop && y % 64 == 0 && stop()) return false;
            for (int32_t x = 0; x < shownWidth; x++, out += pixelBytes) {
                int32_t sx = x, sy = y;
                switch (o) {
                    case 2: sx = w - 1 - x; break;
                    case 3: sx = w - 1 - x, sy = h - 1 - y; break;
                    case 4: sy = h - 1 - y; break;
                    case 5: sx = y, sy = x; break;
                    case 6: sx = y, sy = h - 1 - x; break;
                    case 7: sx = w - 1 - y, sy = h - 1 - x; break;
                    case 8: sx = w - 1 - y, sy = x; break;
                }
                memcpy(out, image.samples.data() + (static_cast<size_t>(sy) * w + sx) * pixelBytes, pixelBytes);
            }
        }
        image.samples = std::move(shown);
    }
    if (swaps) std::swap(image.xResolution, image.yResolution);
    image.width = shownWidth;
    image.height = shownHeight;
    image.orientation = 1;
    if (!image.exif.empty()) {
        image.exif = uprightExif(image.exif, shownWidth, shownHeight);
        if (image.exif.empty()) image.notCarried.push_back("the EXIF block, which is not readable");
    }
    if (!image.xmp.empty()) image.xmp = uprightXmp(image.xmp);
    return true;
}

}  // namespace cli
