// Benchmarks of the sampling stack on a 1024 x 1024 image with its pyramid: one kernel read of
// level 1 per format, the level-pair read, and the texture sampler with footprints that take 1, 2
// and 20 probes along their long axis. Reported as reads or samples per second.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_images.h"
#include "image/pyramid.h"
#include "sampling/kernels.h"
#include "sampling/texture_sampler.h"
#include "sampling/weight_table.h"

namespace {

constexpr int32_t kSide = 1024;
constexpr int32_t kPositions = 4096;

struct SamplingSetup {
    std::unique_ptr<WeightTable> weights = std::make_unique<WeightTable>();
    std::unique_ptr<BenchImage> image;
    float x[kPositions], y[kPositions];

    explicit SamplingSetup(ImageMode imageMode) {
        buildWeightTable(weights.get());
        image = std::make_unique<BenchImage>(kSide, imageMode, weights.get());
        if (image->created) buildPyramid(&image->buffer, &image->queue);
        uint32_t state = 1;
        auto unit = [&] {
            state = state * 1664525u + 1013904223u;
            return static_cast<float>(state >> 8) * (1.0f / 16777216.0f);
        };
        for (int32_t i = 0; i < kPositions; i++) x[i] = unit(), y[i] = unit();
    }
};

void countRate(benchmark::State& state, const char* name) {
    state.counters[name] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// A kernel read at a position of level 1 (512 texels across), so most reads lie inside a tile.
template <typename Read>
void kernelOf(benchmark::State& state, ImageMode imageMode, Read read) {
    SamplingSetup setup(imageMode);
    if (!setup.image->created) return state.SkipWithError("no memory for the image");
    float out[4];
    int32_t i = 0;
    for (auto _ : state) {
        read(&setup.image->buffer, setup.x[i] * 511.0f, setup.y[i] * 511.0f, out);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kPositions;
    }
    countRate(state, "reads");
}

void kernelRgba8(benchmark::State& s) {
    kernelOf(s, ImageMode::Rgba8, [](const ImageBuffer* b, float u, float v, float* o) { filterRgba8(b, 1, u, v, o); });
}
void kernelRgba16(benchmark::State& s) {
    kernelOf(s, ImageMode::Rgba16, [](const ImageBuffer* b, float u, float v, float* o) { filterRgba16(b, 1, u, v, o); });
}
void kernelRgbaFloat(benchmark::State& s) {
    kernelOf(s, ImageMode::RgbaFloat,
             [](const ImageBuffer* b, float u, float v, float* o) { filterRgbaFloat(b, 1, u, v, o); });
}

void readLevelPairOf(benchmark::State& state, ImageMode imageMode) {
    SamplingSetup setup(imageMode);
    if (!setup.image->created) return state.SkipWithError("no memory for the image");
    float out[4];
    int32_t i = 0;
    for (auto _ : state) {
        readLevelPair(&setup.image->buffer, 1, 0.5f, setup.x[i], setup.y[i], out);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kPositions;
    }
    countRate(state, "reads");
}

// stretch: the footprint's long axis in level-0 texels against a short axis of 1.5 texels, which
// sets the number of probes (reported as the `probes` counter).
void sampleFilteredOf(benchmark::State& state, ImageMode imageMode, float stretch) {
    SamplingSetup setup(imageMode);
    if (!setup.image->created) return state.SkipWithError("no memory for the image");
    const float texel = 1.0f / kSide;
    float out[4];
    int32_t i = 0;
    for (auto _ : state) {
        float px = setup.x[i], py = setup.y[i];
        LodSlot slot = {0.0f, 0, 0};
        sampleFiltered(px - stretch * texel, py, px, py - 1.5f * texel, px, py, px, py, &setup.image->buffer, out,
                       0.3f, &slot);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kPositions;
    }
    countRate(state, "samples");
    state.counters["probes"] = static_cast<double>(probeLayout(stretch / 1.5f).count);
}

}  // namespace

BENCHMARK(kernelRgba8);
BENCHMARK(kernelRgba16);
BENCHMARK(kernelRgbaFloat);
BENCHMARK_CAPTURE(readLevelPairOf, rgba8, ImageMode::Rgba8);
BENCHMARK_CAPTURE(readLevelPairOf, rgba16, ImageMode::Rgba16);
BENCHMARK_CAPTURE(readLevelPairOf, rgba_float, ImageMode::RgbaFloat);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba8_1_probe, ImageMode::Rgba8, 1.5f);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba8_2_probes, ImageMode::Rgba8, 2.0f);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba8_20_probes, ImageMode::Rgba8, 32.0f);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba16_1_probe, ImageMode::Rgba16, 1.5f);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba_float_1_probe, ImageMode::RgbaFloat, 1.5f);
