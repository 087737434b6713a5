// velorund: warps image files through the module without a photo editor. INPUT OUTPUT warps one
// file; INPUT... -o DIR warps many into a folder. Ctrl-C, SIGTERM and SIGHUP stop the tool
// through the module's own cancel, after removing the file in progress.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <new>

#include "batch.h"
#include "hostapp/simd_choice.h"
#include "run/dispatcher.h"
#include "options.h"
#include "warp_file.h"

using namespace cli;

namespace {

void onStopSignal(int signal) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
}

int warpSingle(const Options& options) {
    const std::string& input = options.inputs[0];
    std::string problem = outputProblem(options.output, options.force);
    if (!problem.empty()) return complain(nullptr, options.output, problem);

    Timings timings;
    Image image;
    std::string error;
    const double start = secondsNow();
    const bool loaded = loadImage(input, image, error, loadSettings(options));
    timings.read = secondsNow() - start;

    ProgressBar bar;
    bar.shown = !options.quiet && isatty(STDERR_FILENO);
    int code = stopSignal != 0 ? kExitSignalBase + stopSignal
               : !loaded       ? complain(nullptr, input, error)
                               : warpFile(image, input, options.output, formatOf(options.output), options, bar, timings);
    clearProgress(bar);
    if (code == 0 && options.verbose) complain(nullptr, options.output, describe(timings), 0);
    if (code >= kExitSignalBase && !options.quiet) fputs("velorund: cancelled, nothing written\n", stderr);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int code = parseOptions(argc, argv, options);
    if (code >= 0) return code;

    setRunThreads(options.threads);
    std::string simdProblem = hostapp::chooseSimdFromEnvironment();
    if (!simdProblem.empty()) {
        fprintf(stderr, "velorund: %s\n", simdProblem.c_str());
        return kExitBadInput;
    }

    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);

    try {
        code = options.batch() ? warpBatch(options) : warpSingle(options);
    } catch (const std::bad_alloc&) {
        code = complain(nullptr, options.inputs[0], "not enough memory for the image");
    }
    return code;
}
