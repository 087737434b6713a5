// The hand-over of finished rows from the filter run to the file writer, which encodes the top
// of the picture on its own thread while the filter still renders the rest. The run publishes
// how many rows of the document are final; the writer waits for the rows it needs, takes them
// from the document into the image (converting scales, composing over a background) and
// encodes them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "hostapp/document.h"
#include "image_file.h"

namespace cli {

class RowHandOver {
public:
    // background: red, green, blue to compose over, or null. stop tells when the tool has been
    // asked to stop.
    RowHandOver(Image& image, const hostapp::Document& doc, const uint8_t* background, std::function<bool()> stop);

    // The run's side: the rows [0, rows) are final; all are; none will be.
    void publish(int32_t rows);
    void finish() { publish(image_.height); }
    void abandon();

    // The writer's side: waits until the rows [0, rows) are final and in the image; false when
    // the file is abandoned or the tool is to stop.
    bool waitFor(int32_t rows);
    double secondsWaited() const { return waited_.count(); }

private:
    Image& image_;
    const hostapp::Document& doc_;
    const uint8_t* background_;
    std::function<bool()> stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int32_t final_ = 0;       // rows the run has finished
    int32_t awaited_ = 0;     // rows the writer waits for
    bool abandoned_ = false;
    int32_t taken_ = 0;       // rows taken into the image (writer thread only)
    std::chrono::duration<double> waited_{0};
};

}  // namespace cli
