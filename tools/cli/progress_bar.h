// The progress bar on standard error, over one file or a whole batch, and the one-line messages
// that clear it before they are printed.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

struct ProgressBar {
    bool shown = false;      // on a terminal, without --quiet
    int32_t fileIndex = 0;   // the file being warped, from 0
    int32_t fileCount = 1;   // more than 1: a batch, whose count is shown
    int32_t shownPercent = -1;
};

// The filter's progress on the current file; redrawn when the whole percentage changes.
void drawProgress(ProgressBar& bar, int32_t done, int32_t total);
void clearProgress(ProgressBar& bar);

// Prints "velorund: subject: reason" on its own line, control characters escaped (a newline as
// \n, others as \xHH), and returns code.
int complain(ProgressBar* bar, const std::string& subject, const std::string& reason, int code = 2);

}  // namespace cli
