// Benchmark of the plane import: one delivered tile of interleaved host samples copied into the
// first tile of a 1024 x 1024 source image, for RGB and RGBA deliveries of each depth. Reported
// as pixels per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_images.h"
#include "run/plane_import.h"

namespace {

constexpr int32_t kSide = 1024;

void convertTileOf(benchmark::State& state, ImageMode imageMode, int32_t sampleBytes, int32_t planes) {
    BenchImage image(kSide, imageMode);
    if (!image.created) return state.SkipWithError("no memory for the image");
    const TileEntry& tile = image.buffer.tiles[0];
    std::vector<uint8_t> delivered(static_cast<size_t>(tile.width) * tile.height * planes * sampleBytes, 0x3C);

    FilterRecord record{};
    record.inData = delivered.data();
    record.inLoPlane = 0;
    record.inHiPlane = static_cast<int16_t>(planes - 1);
    record.inRowBytes = tile.width * planes * sampleBytes;
    DocumentFormat format{};
    format.sourceImageMode = imageMode;
    format.sampleBytes = sampleBytes;
    format.rgb = true;
    format.inputAlphaPlane = planes == 4 ? 3 : -1;

    for (auto _ : state) {
        convertTile(&image.buffer, &format, &record, 0);
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = benchmark::Counter(static_cast<double>(state.iterations()) * tile.width * tile.height,
                                                  benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(convertTileOf, rgb8, ImageMode::Rgba8, 1, 3);
BENCHMARK_CAPTURE(convertTileOf, rgba8, ImageMode::Rgba8, 1, 4);
BENCHMARK_CAPTURE(convertTileOf, rgb16, ImageMode::Rgba16, 2, 3);
BENCHMARK_CAPTURE(convertTileOf, rgba16, ImageMode::Rgba16, 2, 4);
BENCHMARK_CAPTURE(convertTileOf, rgb_float, ImageMode::RgbaFloat, 4, 3);
BENCHMARK_CAPTURE(convertTileOf, rgba_float, ImageMode::RgbaFloat, 4, 4);
