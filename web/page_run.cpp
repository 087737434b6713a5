// The page's filter run, compiled with the module to WebAssembly. The page's worker hands over
// an image's samples as decoded from the file; they become a layer of the in-process host, the
// module runs on it through its entry point as in a photo editor, and the warped samples are
// left in the file's layout for the worker to encode. Progress goes to the page as the module
// reports it, and the module's cancel polls ask the page.
#include <emscripten.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "hostapp/file_samples.h"
#include "hostapp/host.h"
#include "hostapp/run_failure.h"
#include "hostapp/sample_scale.h"
#include "run/dispatcher.h"

// The worker's script sets Module.onProgress and Module.cancelRequested before it runs a filter.
EM_JS(void, showProgress, (int32_t done, int32_t total), { Module.onProgress(done, total); });
#if defined(__EMSCRIPTEN_PTHREADS__)
// Threads need a cross-origin isolated page, where Cancel sets a flag in memory the page shares
// with the worker: the poll reads it at once.
EM_JS(int32_t, askCancel, (), { return Module.cancelRequested() ? 1 : 0; });
#else
// Without threads nothing is shared with the page: the poll suspends the run, lets the worker
// take its messages (a Cancel among them) and resumes with the answer.
EM_ASYNC_JS(int32_t, askCancel, (), { return (await Module.cancelRequested()) ? 1 : 0; });
#endif

namespace {

// The last run's warped samples and, when it failed, why.
std::vector<uint8_t> warped;
std::string failure;

void onProgress(void*, int32_t done, int32_t total) { showProgress(done, total); }

bool onCancelPoll(void*) { return askCancel() != 0; }

}  // namespace

extern "C" {

// Warps width x height pixels of `channels` interleaved samples (1 gray, 2 gray and alpha,
// 3 RGB, 4 RGBA) of `bits` (8 or 16, 0..65535) each. `samples` comes from malloc and is freed
// once the document holds it. The image runs as a layer: an image without alpha gets an opaque
// one. background is -1 for a transparent outside, or 0xRRGGBB to compose the result over that
// colour, without alpha. A rectangle of width 0 stands for the whole image. Returns the
// module's result code (-128 for a cancelled run); when velorund_page_failure is empty the run
// completed and its samples are in velorund_page_output.
EMSCRIPTEN_KEEPALIVE int32_t velorund_page_run(uint8_t* samples, int32_t width, int32_t height, int32_t channels,
                                               int32_t bits, int32_t background, int32_t rectX, int32_t rectY,
                                               int32_t rectWidth, int32_t rectHeight, int32_t threads) {
    warped = {};
    failure.clear();
    const bool gray = channels <= 2;
    hostapp::Document doc = hostapp::makeDocument(width, height, bits, gray ? hostapp::ColourModel::Gray : hostapp::ColourModel::Rgb, true);
    hostapp::fillDocument(doc, samples, channels);
    free(samples);
    if (rectWidth > 0) {
        doc.hasSelection = true;
        doc.selection = Rect16{static_cast<int16_t>(rectY), static_cast<int16_t>(rectX),
                               static_cast<int16_t>(rectY + rectHeight), static_cast<int16_t>(rectX + rectWidth)};
    }

    setRunThreads(threads);
    hostapp::InProcessHost host(PluginMain, {.progress = onProgress, .cancelRequested = onCancelPoll});
    const hostapp::RunOutcome outcome = host.runFilter(doc);
    failure = hostapp::runFailure(outcome);
    if (!failure.empty()) return outcome.result;

    // The layer as it is, or composed over the colour.
    if (background < 0) {
        warped.resize(doc.samples.size());
        hostapp::copySamples(warped.data(), doc.samples.data(), doc.samples.size() / (bits / 8), bits, hostapp::fromHostScale);
    } else {
        const uint8_t colour[3] = {static_cast<uint8_t>(background >> 16), static_cast<uint8_t>(background >> 8),
                                   static_cast<uint8_t>(background)};
        warped.resize(doc.samples.size() / hostapp::planeCount(doc) * hostapp::colourPlanes(doc));
        hostapp::composeRows(doc, 0, height, colour, warped.data());
    }
    return kNoErr;
}

EMSCRIPTEN_KEEPALIVE const uint8_t* velorund_page_output() { return warped.data(); }

EMSCRIPTEN_KEEPALIVE const char* velorund_page_failure() { return failure.c_str(); }

// Lets go of the last run's samples once the worker has encoded them.
EMSCRIPTEN_KEEPALIVE void velorund_page_release() { warped = {}; }

}  // extern "C"
