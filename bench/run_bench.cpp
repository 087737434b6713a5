// Benchmarks of whole filter runs through the in-process host, without file I/O: documents of
// 1024 x 1024, 2048 x 2048 and 6000 x 4000 pixels, 8-bit, 16-bit and float, RGB and RGBA, on one
// thread and on every hardware thread. Each run goes from Prepare to Finish over a fresh copy of
// the document, so its time includes the tile import, the pyramid, every rendered row and the
// host's hand-over of each row. Reported per run (the median of three): document megapixels per
// second, the module's peak working memory (its handles and buffers at their most), and the
// split of the time as the host sees it, in milliseconds.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_documents.h"
#include "hostapp/host.h"
#include "hostapp/simd_choice.h"
#include "run/dispatcher.h"

namespace {

using namespace hostapp;

// The widest instruction set the runs take, from VELORUND_SIMD, chosen before the first run.
const std::string kSimdProblem = chooseSimdFromEnvironment();

struct RunCase {
    int32_t width, height, depth;
    bool alpha;
    int32_t threads;  // 0: every hardware thread
};

void runFilterOn(benchmark::State& state, RunCase c) {
    if (!kSimdProblem.empty()) {
        state.SkipWithError(kSimdProblem.c_str());
        return;
    }
    const Document source = benchDocument(c.width, c.height, c.depth, c.alpha);
    setRunThreads(c.threads);
    InProcessHost host(PluginMain);
    RunTimes sum;
    for (auto _ : state) {
        Document doc = source;
        RunOutcome run = host.runFilter(doc);
        if (run.result != kNoErr) {
            state.SkipWithError("the run failed");
            break;
        }
        const RunTimes& t = run.times;
        state.SetIterationTime(t.import + t.pyramid + t.render + t.output);
        sum.import += t.import;
        sum.pyramid += t.pyramid;
        sum.render += t.render;
        sum.output += t.output;
        benchmark::DoNotOptimize(doc.samples.data());
    }
    setRunThreads(0);

    double runs = static_cast<double>(state.iterations());
    double megapixels = static_cast<double>(c.width) * c.height / 1e6;
    state.counters["Mpx/s"] = megapixels * runs / (sum.import + sum.pyramid + sum.render + sum.output);
    state.counters["peak MB"] =
        static_cast<double>(host.bufferMemory().peakBytes + host.handleMemory().peakBytes) / 1e6;
    state.counters["import ms"] = 1e3 * sum.import / runs;
    state.counters["pyramid ms"] = 1e3 * sum.pyramid / runs;
    state.counters["render ms"] = 1e3 * sum.render / runs;
    state.counters["output ms"] = 1e3 * sum.output / runs;
}

const bool registered = [] {
    const int32_t sizes[][2] = {{1024, 1024}, {2048, 2048}, {6000, 4000}};
    for (const auto& size : sizes) {
        for (int32_t depth : {8, 16, 32}) {
            for (bool alpha : {false, true}) {
                for (int32_t threads : {1, 0}) {
                    RunCase c = {size[0], size[1], depth, alpha, threads};
                    std::string name = "run/" + std::to_string(c.width) + "x" + std::to_string(c.height) + "/" +
                                       (alpha ? "rgba" : "rgb") + (depth == 32 ? "_float" : std::to_string(depth)) +
                                       "/threads:" + (threads ? std::to_string(threads) : std::string("all"));
                    benchmark::RegisterBenchmark(name.c_str(), runFilterOn, c)
                        ->Unit(benchmark::kMillisecond)
                        ->UseManualTime()
                        ->Iterations(1)
                        ->Repetitions(3)
                        ->ReportAggregatesOnly(true);
                }
            }
        }
    }
    return true;
}();

}  // namespace
