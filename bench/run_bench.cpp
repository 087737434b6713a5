// Benchmarks of whole filter runs through the in-process host: a 1024 x 1024 layer per document
// format, from Prepare to Finish, so the figure includes the tile import, the pyramid, every
// rendered row and the host's hand-over of each row. Reported as document pixels per second.
#include <benchmark/benchmark.h>

#include "run/dispatcher.h"
#include "hostapp/host.h"

namespace {

using namespace hostapp;

constexpr int32_t kSide = 1024;

void runFilter(benchmark::State& state, int32_t depth) {
    Document source = makeDocument(kSide, kSide, depth, ColourModel::Rgb, true);
    double full = depth == 8 ? 255 : depth == 16 ? 32768 : 1.0;
    for (int32_t y = 0; y < kSide; y++)
        for (int32_t x = 0; x < kSide; x++) {
            for (int32_t p = 0; p < 3; p++) setSampleValue(source, x, y, p, full * ((x * (p + 1) + y * 3) & 255) / 255);
            setSampleValue(source, x, y, 3, full);
        }
    InProcessHost host(PluginMain);
    for (auto _ : state) {
        state.PauseTiming();
        Document doc = source;
        state.ResumeTiming();
        RunOutcome run = host.runFilter(doc);
        if (run.result != kNoErr) state.SkipWithError("the run failed");
        benchmark::DoNotOptimize(doc.samples.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_Run8(benchmark::State& s) { runFilter(s, 8); }
void BM_Run16(benchmark::State& s) { runFilter(s, 16); }
void BM_RunFloat(benchmark::State& s) { runFilter(s, 32); }
BENCHMARK(BM_Run8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Run16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunFloat)->Unit(benchmark::kMillisecond);

}  // namespace
