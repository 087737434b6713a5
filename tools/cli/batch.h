// Many files at once: every INPUT warped into the folder DIR under its own name.
#pragma once

#include "options.h"

namespace cli {

// Returns 0 when every file was written, 2 when some failed (each reported on its own line and
// skipped) or when an output would replace one of the inputs (then nothing is written), 128 + N
// when signal N stopped the batch (the file in progress is removed, the ones written stay).
int warpBatch(const Options& options);

}  // namespace cli
