// The bar is redrawn in place with a carriage return; a batch shows its file count and the
// share of the whole batch done.
#include "progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace cli {

void drawProgress(ProgressBar& bar, int32_t done, int32_t total) {
    if (!bar.shown || total <= 0) return;
    const int64_t fileShare = 100LL * std::clamp(done, 0, total) / total;
    const int32_t percent = static_cast<int32_t>((100LL * bar.fileIndex + fileShare) / bar.fileCount);
    if (percent == bar.shownPercent) return;
    bar.shownPercent = percent;
    constexpr int32_t kWidth = 40;
    char cells[kWidth + 1];
    for (int32_t i = 0; i < kWidth; i++) cells[i] = i < percent * kWidth / 100 ? '#' : '.';
    cells[kWidth] = '\0';
    if (bar.fileCount > 1)
        fprintf(stderr, "\rvelorund: warping %d of %d [%s] %3d%%", bar.fileIndex + 1, bar.fileCount, cells, percent);
    else
        fprintf(stderr, "\rvelorund: warping [%s] %3d%%", cells, percent);
    fflush(stderr);
}

void clearProgress(ProgressBar& bar) {
    if (bar.shownPercent >= 0) fputs("\r\033[K", stderr);
    bar.shownPercent = -1;
}

// The text with its control characters written as escapes, so that a file name holding a
// newline or an escape sequence cannot break the line or steer the terminal.
static std::string escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        char escape[5];
        if (c == '\n' || c == '\t' || c == '\r') out += {'\\', c == '\n' ? 'n' : c == '\t' ? 't' : 'r'};
        else if (c < 0x20 || c == 0x7F) out += (snprintf(escape, sizeof escape, "\\x%02x", c), escape);
        else out += static_cast<char>(c);
    }
    return out;
}

int complain(ProgressBar* bar, const std::string& subject, const std::string& reason, int code) {
    if (bar) clearProgress(*bar);
    fprintf(stderr, "velorund: %s: %s\n", escaped(subject).c_str(), escaped(reason).c_str());
    return code;
}

}  // namespace cli
