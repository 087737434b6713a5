// velorund-map-image: writes the filter's square-to-disc map for an output of WIDTH x HEIGHT as a
// two-band float TIFF, for tools that resample through a map image (bench/peers.sh gives it to
// libvips's mapim): band 0 and band 1 hold the source column and row each output pixel's centre
// maps to, with source pixel centres on whole numbers; pixels off the disc map far outside the
// source, which such tools fill with their background.
//   velorund-map-image WIDTH HEIGHT OUTPUT.tif
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "image_file.h"
#include "warp/square_to_disc.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: velorund-map-image WIDTH HEIGHT OUTPUT.tif\n", stderr);
        return 2;
    }
    const int32_t width = std::atoi(argv[1]), height = std::atoi(argv[2]);
    if (width < 1 || height < 1 || width > cli::kMaxSide || height > cli::kMaxSide) {
        std::fputs("velorund-map-image: sizes are 1 to 32767\n", stderr);
        return 2;
    }
    auto grid = std::make_unique<MapGrid>();
    buildMapGrid(grid.get());
    const MapFrame frame = mapFrameOf(grid.get(), width, height);

    cli::Image map;
    map.width = width;
    map.height = height;
    map.channels = 2;
    map.bits = 32;
    map.tiff.compression = COMPRESSION_NONE;
    map.samples.resize(cli::sampleCount(map) * sizeof(float));
    float* out = reinterpret_cast<float*>(map.samples.data());
    constexpr float kOffTheSource = -1e6f;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++, out += 2) {
            // Pixel x spans positions x - 1 .. x.
            MapResult mapped = {false, 0.0f, 0.0f};
            mapPosition(frame, static_cast<float>(x) - 0.5f, static_cast<float>(y) - 0.5f, &mapped);
            out[0] = mapped.inside ? mapped.s * static_cast<float>(width) - 0.5f : kOffTheSource;
            out[1] = mapped.inside ? mapped.t * static_cast<float>(height) - 0.5f : kOffTheSource;
        }
    }
    std::string error;
    if (!cli::saveImage(map, argv[3], cli::FileFormat::Tiff, {}, error)) {
        std::fprintf(stderr, "velorund-map-image: %s: %s\n", argv[3], error.c_str());
        return 1;
    }
    return 0;
}
