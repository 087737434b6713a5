// One file through the filter: the loaded image becomes a document of the in-process host, the
// module runs on it through its entry point as in a photo editor, and the result is written
// beside the output under a temporary name while the filter runs, then renamed into place.
#pragma once

#include <atomic>
#include <string>

#include "image_file.h"
#include "options.h"
#include "progress_bar.h"

namespace cli {

// The signal that asked the tool to stop (SIGINT, SIGTERM, SIGHUP), or 0.
extern std::atomic<int> stopSignal;

double secondsNow();

// Where the time of one file went. The writer runs beside the filter: write is its working
// time, writeAfter the part of it that the filter's end waited for.
struct Timings {
    double read = 0;
    double filter = 0;
    double write = 0;
    double writeAfter = 0;
};

// How the tool reads files: with the pixel limit of the options, stopping at a signal.
LoadSettings loadSettings(const Options& options);

// Why the output file cannot be written, or empty when it can.
std::string outputProblem(const std::string& output, bool force);

// Warps image (loaded from input) into output. Returns 0 when written, else the exit code after
// the message: 1 the filter failed, 2 bad input or output, 128 + N stopped by signal N. Nothing
// is left behind but a complete output. A written output that lacks metadata of the input (what
// the image does not carry, and what the output's format cannot hold) is followed by one
// warning line naming it.
int warpFile(Image& image, const std::string& input, const std::string& output, FileFormat format,
             const Options& options, ProgressBar& bar, Timings& timings);

// "read 0.26 s, filter 3.90 s, write 0.70 s (0.02 s after the filter)"
std::string describe(const Timings& timings);

}  // namespace cli
