// The writer waits on a condition variable, waking every few milliseconds to notice a stop
// asked for by a signal, which cannot notify it.
#include "row_hand_over.h"

#include <algorithm>

#include "image_document.h"

namespace cli {

constexpr std::chrono::milliseconds kStopPoll{20};
// Rows the writer waits for beyond what it needs, so that it wakes once for a band of rows and
// not for every row the run finishes.
constexpr int32_t kBand = 64;

RowHandOver::RowHandOver(Image& image, const hostapp::Document& doc, const uint8_t* background,
                         std::function<bool()> stop)
    : image_(image), doc_(doc), background_(background), stop_(std::move(stop)) {}

void RowHandOver::publish(int32_t rows) {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        final_ = std::max(final_, std::min(rows, image_.height));
        wake = final_ >= awaited_;
    }
    if (wake) changed_.notify_all();
}

void RowHandOver::abandon() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        abandoned_ = true;
    }
    changed_.notify_all();
}

bool RowHandOver::waitFor(int32_t rows) {
    rows = std::min(rows, image_.height);
    if (stop_()) return false;
    if (rows <= taken_) return true;

    // Wait for the run, a band of rows past those needed, then take every row it has finished.
    int32_t available;
    {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> lock(mutex_);
        awaited_ = std::min(rows + kBand, image_.height);
        while (final_ < awaited_ && !abandoned_ && !stop_()) changed_.wait_for(lock, kStopPoll);
        waited_ += std::chrono::steady_clock::now() - start;
        if (final_ < rows) return false;
        available = final_;
    }
    takeRows(image_, doc_, taken_, available, background_);
    taken_ = available;
    return true;
}

}  // namespace cli
