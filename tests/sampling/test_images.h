// Images for the sampling tests: buffers on the global-memory route that share one weight
// table, filled level by level from a function of the pixel position.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>

#include "image/image_buffer.h"
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
    TestImage(int32_t width, int32_t height, uint32_t mode) {
        resetImageBuffer(&b, nullptr, sharedWeightTable());
        created = createImageBuffer(&b, width, height, mode, 0, false);
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
                uint32_t s = isFloat ? std::bit_cast<uint32_t>(static_cast<float>(v))
                                     : static_cast<uint32_t>(v);
                setPixel(x, y, &b, level, s, s, s, s);
            }
        }
    }

    bool created = false;
};
