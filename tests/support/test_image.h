// Image buffers for the tests of the image, sampling and warp layers: on the global-memory route,
// sharing one weight table, created at once when given a size, released when the test ends, and
// filled level by level from a function of the pixel position.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>

#include "image/image_buffer.h"
#include "image/pyramid.h"
#include "image/work_queue.h"
#include "sampling/weight_table.h"

inline const WeightTable* sharedWeightTable() {
    static const std::unique_ptr<WeightTable> table = [] {
        auto t = std::make_unique<WeightTable>();
        buildWeightTable(t.get());
        return t;
    }();
    return table.get();
}

struct TestImage {
    ImageBuffer b{};
    bool created = false;

    TestImage() { resetImageBuffer(&b, nullptr, sharedWeightTable()); }
    TestImage(int32_t width, int32_t height, uint32_t mode) : TestImage() {
        created = createImageBuffer(&b, width, height, mode, kWrapClamp, false);
    }
    ~TestImage() { freeImageBuffer(&b); }
    TestImage(const TestImage&) = delete;
    TestImage& operator=(const TestImage&) = delete;

    // Sets every pixel of a level to value(x, y) in all channels: a sample of the mode's
    // integer scale, or a float for the float modes.
    template <typename Value>
    void fill(int32_t level, Value value) {
        bool isFloat = b.imageMode == kImageRgbaFloat || b.imageMode == kImageGrayFloat;
        for (int32_t y = 0; y < b.levelHeight[level]; y++) {
            for (int32_t x = 0; x < b.levelWidth[level]; x++) {
                auto v = value(x, y);
                uint32_t s = isFloat ? std::bit_cast<uint32_t>(static_cast<float>(v)) : static_cast<uint32_t>(v);
                setPixel(x, y, &b, level, s, s, s, s);
            }
        }
    }

    // Reduces level 0 into the levels above it on a queue of one job, as a run does.
    void reduce() {
        JobRecord job{};
        WorkQueue queue{&job, 0, 1, nullptr};
        buildPyramid(&b, &queue);
    }
};
