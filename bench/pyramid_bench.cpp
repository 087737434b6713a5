// Benchmark of the pyramid build: every reduced level of a 2048 x 2048 image in the three
// formats the filter imports, reported as level-0 pixels per second.
#include <benchmark/benchmark.h>

#include "bench_images.h"
#include "image/pyramid.h"

namespace {

constexpr int32_t kSide = 2048;

void buildPyramidOf(benchmark::State& state, ImageMode imageMode) {
    BenchImage image(kSide, imageMode);
    if (!image.created) {
        state.SkipWithError("no memory for the image");
        return;
    }
    for (auto _ : state) buildPyramid(&image.buffer, &image.queue);
    state.counters["pixels"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSide * kSide, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(buildPyramidOf, rgba8, ImageMode::Rgba8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildPyramidOf, rgba16, ImageMode::Rgba16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildPyramidOf, rgba_float, ImageMode::RgbaFloat)->Unit(benchmark::kMillisecond);
