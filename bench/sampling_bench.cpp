// Benchmarks of the sampling stack on a 1024 x 1024 image with its pyramid, per format: the
// level-pair read alone, and the texture sampler with the footprints the renderer produces
// (round ones that take one probe, and stretched ones that take eight along the long axis).
// Reported as reads or samples per second.
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

    explicit SamplingSetup(uint32_t imageMode) {
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

void readLevelPairOf(benchmark::State& state, uint32_t imageMode) {
    SamplingSetup setup(imageMode);
    if (!setup.image->created) return state.SkipWithError("no memory for the image");
    float out[4];
    int32_t i = 0;
    for (auto _ : state) {
        readLevelPair(&setup.image->buffer, 1, 0.5f, setup.x[i], setup.y[i], out);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kPositions;
    }
    state.counters["reads"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}

// stretch: the footprint's long axis in level-0 texels; the short axis is 1.5 texels.
void sampleFilteredOf(benchmark::State& state, uint32_t imageMode, float stretch) {
    SamplingSetup setup(imageMode);
    if (!setup.image->created) return state.SkipWithError("no memory for the image");
    const float texel = 1.0f / kSide;
    float out[4];
    int32_t i = 0;
    for (auto _ : state) {
        float px = setup.x[i], py = setup.y[i];
        LodSlot slot = {0.0f, 0};
        sampleFiltered(px - stretch * texel, py, px, py - 1.5f * texel, px, py, px, py,
                       &setup.image->buffer, out, 0.3f, &slot);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kPositions;
    }
    state.counters["samples"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(readLevelPairOf, rgba8, kImageRgba8);
BENCHMARK_CAPTURE(readLevelPairOf, rgba16, kImageRgba16);
BENCHMARK_CAPTURE(readLevelPairOf, rgba_float, kImageRgbaFloat);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba8_round, kImageRgba8, 1.5f);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba8_stretched, kImageRgba8, 12.0f);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba16_round, kImageRgba16, 1.5f);
BENCHMARK_CAPTURE(sampleFilteredOf, rgba_float_round, kImageRgbaFloat, 1.5f);
