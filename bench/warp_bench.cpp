// Benchmarks of the warp on a 1024 x 1024 8-bit layer: mapping one corner line, rendering a band
// of rows through the middle of the disc (almost every pixel one filtered sample) and a band at
// its top (where the rim runs nearly along the rows, so most pixels on it are supersampled), and
// converting rendered colours into each output format. Reported as positions or pixels per
// second.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench_images.h"
#include "image/pyramid.h"
#include "sampling/weight_table.h"
#include "warp/renderer.h"

namespace {

constexpr int32_t kSide = 1024;
constexpr int32_t kBand = 32;

// A render lane as a run's Start leaves it: the source with its pyramid, the built map grid and
// the lane's column records.
struct BenchLane {
    WeightTable weights;
    BenchImage image{kSide, ImageMode::Rgba8, (buildWeightTable(&weights), &weights)};
    std::unique_ptr<MapGrid> mapGrid = std::make_unique<MapGrid>();
    std::vector<ColumnRecord> columns = std::vector<ColumnRecord>(kSide + 4);
    RenderLane lane{};
    std::vector<uint8_t> row = std::vector<uint8_t>(kSide * 4);
    OutputRow output{row.data(), kSide, {OutputSample::Int8, 255, 255.0f, 255, 4, 3, false, 3}};

    BenchLane() {
        buildPyramid(&image.buffer, &image.queue);
        buildMapGrid(mapGrid.get());
        setupRenderLane(&lane, &image.buffer, mapFrameOf(mapGrid.get(), kSide, kSide), columns.data(), kSide);
    }
};

void mapCornerLineOf(benchmark::State& state) {
    BenchLane bench;
    for (auto _ : state) {
        mapCornerLine(&bench.lane, kSide / 2);
        benchmark::ClobberMemory();
    }
    state.counters["positions"] = benchmark::Counter(static_cast<double>(state.iterations()) * (kSide + 1),
                                                     benchmark::Counter::kIsRate);
}

// Rows first .. first + kBand - 1, one after another, as a strip of a run renders them.
void renderBand(benchmark::State& state, int32_t first) {
    BenchLane bench;
    for (auto _ : state) {
        for (int32_t y = first; y < first + kBand; y++) {
            renderRow(&bench.lane, y, &bench.output);
        }
        benchmark::DoNotOptimize(bench.row.data());
    }
    state.counters["pixels"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBand * kSide,
                                                  benchmark::Counter::kIsRate);
}

void writeOutputRowOf(benchmark::State& state, OutputFormat format) {
    std::vector<float> colours(kSide * 4);
    for (int32_t x = 0; x < kSide; x++) {
        float v = static_cast<float>(x) / kSide;
        colours[4 * x] = v, colours[4 * x + 1] = 1.0f - v, colours[4 * x + 2] = 0.5f, colours[4 * x + 3] = 0.75f + v / 4;
    }
    std::vector<uint8_t> row(kSide * 4 * 4);
    OutputRow output = {row.data(), kSide, format};
    for (auto _ : state) {
        for (int32_t x = 0; x < kSide; x++) writeOutputPixel(&output, x, &colours[4 * x]);
        benchmark::DoNotOptimize(row.data());
    }
    state.counters["pixels"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSide,
                                                  benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(mapCornerLineOf);
BENCHMARK_CAPTURE(renderBand, interior, kSide / 2 - kBand / 2);
BENCHMARK_CAPTURE(renderBand, rim, 0);
BENCHMARK_CAPTURE(writeOutputRowOf, rgb8, OutputFormat{OutputSample::Int8, 255, 255.0f, 255, 3, 3, false, -1});
BENCHMARK_CAPTURE(writeOutputRowOf, rgba8, OutputFormat{OutputSample::Int8, 255, 255.0f, 255, 4, 3, false, 3});
BENCHMARK_CAPTURE(writeOutputRowOf, rgba16,
                  OutputFormat{OutputSample::Int16, 32768, 32768.0f, 32768, 4, 3, false, 3});
BENCHMARK_CAPTURE(writeOutputRowOf, rgba_float, OutputFormat{OutputSample::Float, 65535, 1.0f, 1, 4, 3, false, 3});
