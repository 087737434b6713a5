// velorund-bench-photo: writes a photograph of the given size for timing the command-line
// tool's file handling: examples/astronaut.png enlarged bilinearly, with a fixed grain like a
// camera's sensor noise, saved as each file named (its type chosen by the extension; TIFFs
// uncompressed).
//   velorund-bench-photo SOURCE WIDTH HEIGHT OUTPUT...
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "image_file.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        fputs("usage: velorund-bench-photo SOURCE WIDTH HEIGHT OUTPUT...\n", stderr);
        return 2;
    }
    cli::Image source, photo;
    std::string error;
    if (!cli::loadImage(argv[1], source, error) || source.channels != 3 || source.bits != 8) {
        fprintf(stderr, "%s: %s\n", argv[1], error.empty() ? "not an 8-bit RGB image" : error.c_str());
        return 2;
    }
    photo.width = atoi(argv[2]);
    photo.height = atoi(argv[3]);
    photo.channels = 3;
    photo.samples.resize(cli::sampleCount(photo));
    photo.tiff.compression = COMPRESSION_NONE;

    // Each pixel between its four nearest source pixels, plus grain of up to 4 steps.
    uint32_t grain = 1;
    for (int32_t y = 0; y < photo.height; y++)
        for (int32_t x = 0; x < photo.width; x++) {
            const double sx = (x + 0.5) * source.width / photo.width - 0.5, sy = (y + 0.5) * source.height / photo.height - 0.5;
            const int32_t x0 = std::clamp(static_cast<int32_t>(std::floor(sx)), 0, source.width - 1);
            const int32_t y0 = std::clamp(static_cast<int32_t>(std::floor(sy)), 0, source.height - 1);
            const int32_t x1 = std::min(x0 + 1, source.width - 1), y1 = std::min(y0 + 1, source.height - 1);
            const double fx = std::clamp(sx - x0, 0.0, 1.0), fy = std::clamp(sy - y0, 0.0, 1.0);
            for (int32_t c = 0; c < 3; c++) {
                auto at = [&](int32_t px, int32_t py) { return source.samples[(static_cast<size_t>(py) * source.width + px) * 3 + c]; };
                double v = (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
                grain = grain * 1103515245 + 12345;
                v += static_cast<double>((grain >> 16) % 9) - 4;
                photo.samples[(static_cast<size_t>(y) * photo.width + x) * 3 + c] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
            }
        }
    for (int i = 4; i < argc; i++)
        if (!cli::saveImage(photo, argv[i], cli::formatOf(argv[i]), cli::SaveSettings{}, error)) {
            fprintf(stderr, "%s: %s\n", argv[i], error.c_str());
            return 2;
        }
    return 0;
}
