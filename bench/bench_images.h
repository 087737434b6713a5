// Images for the benchmarks: a buffer on the global-memory route with a queue to build its
// pyramid on, level 0 filled with a pattern in which every channel varies.
#pragma once

#include <bit>
#include <cstdint>

#include "image/image_buffer.h"
#include "image/work_queue.h"
#include "support/test_image.h"

struct BenchImage {
    JobRecord job{};
    WorkQueue queue{&job, 0, 1, nullptr};
    ImageBuffer buffer{};
    bool created = false;

    BenchImage(int32_t side, ImageMode imageMode, const WeightTable* weights = nullptr) {
        resetImageBuffer(&buffer, nullptr, weights);
        created = createImageBuffer(&buffer, side, side, imageMode);
        if (!created) return;
        for (int32_t y = 0; y < side; y++) {
            for (int32_t x = 0; x < side; x++) {
                uint32_t v = static_cast<uint32_t>((x * 7 + y * 13) & 255);
                uint32_t c = imageMode == ImageMode::RgbaFloat ? std::bit_cast<uint32_t>(v / 255.0f)
                             : imageMode == ImageMode::Rgba16  ? v * 128
                                                          : v;
                setPixel(x, y, &buffer, 0, c, c ^ 1, c ^ 2, c ^ 3);
            }
        }
    }
    ~BenchImage() { freeImageBuffer(&buffer); }
    BenchImage(const BenchImage&) = delete;
    BenchImage& operator=(const BenchImage&) = delete;
};
