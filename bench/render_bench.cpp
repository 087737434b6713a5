// Benchmarks of the output renderer: whole 1024 x 1024 images rendered row by row from a source
// with its pyramid, per document format, through the corner lines, the per-pixel
// classification, the sampler and the output conversion. Reported as output pixels per second.
#include <benchmark/benchmark.h>

#include <bit>

#include "warp/render_fixture.h"

namespace {

constexpr int32_t kSide = 1024;

void renderImage(benchmark::State& state, uint32_t sourceMode, int16_t imageMode, int32_t depth) {
    RenderFixture f(kSide, kSide, sourceMode);
    f.setDocument(imageMode, depth, 4, kFilterCaseEditableTransparencyNoSelection);
    bool isFloat = sourceMode == kImageRgbaFloat;
    uint32_t full = sourceMode == kImageRgba16 ? 32768 : 255;
    f.fillSource([&](int32_t x, int32_t y, int32_t c) -> uint32_t {
        uint32_t v = static_cast<uint32_t>((x * (c + 1) + y * 3) & 255);
        if (c == 3) v = 255;
        return isFloat ? std::bit_cast<uint32_t>(v / 255.0f) : v * full / 255;
    });
    for (auto _ : state) {
        f.image.clear();
        f.renderAll();
        benchmark::DoNotOptimize(f.image.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_Render8(benchmark::State& s) { renderImage(s, kImageRgba8, kModeRGBColor, 8); }
void BM_Render16(benchmark::State& s) { renderImage(s, kImageRgba16, kModeRGB48, 16); }
void BM_RenderFloat(benchmark::State& s) { renderImage(s, kImageRgbaFloat, kModeRGB96, 32); }
BENCHMARK(BM_Render8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderFloat)->Unit(benchmark::kMillisecond);

}  // namespace
