// Image buffers for the tests of the image, sampling and warp layers: on the global-memory route,
// sharing one weight table, created at once when given a size, released when the test ends, and
// filled level by level from a function of the pixel position; and single pixels written and
// read through the tile table, in the buffer's layout.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>

#include "image/image_buffer.h"
#include "image/pixel_access.h"
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

// Writes one pixel if it lies inside the level: 8-bit samples packed into one word, channel 0 in
// the top byte; 16-bit samples; float bit patterns as raw words.
inline void setPixel(int32_t x, int32_t y, ImageBuffer* buffer, int32_t level, uint32_t c0, uint32_t c1,
                     uint32_t c2, uint32_t c3) {
    if (x < 0 || x > buffer->levelLastX[level] || y < 0 || y > buffer->levelLastY[level]) return;
    uint8_t* p = pixelAddress(buffer, level, x, y);
    const uint32_t c[4] = {c0, c1, c2, c3};
    for (int i = 0; i < 4; i++) {
        switch (buffer->imageMode) {
            case ImageMode::Rgba8: p[3 - i] = static_cast<uint8_t>(c[i]); break;
            case ImageMode::Rgba16: storeSample<uint16_t>(p + 2 * i, static_cast<uint16_t>(c[i])); break;
            case ImageMode::RgbaFloat: storeSample<uint32_t>(p + 4 * i, c[i]); break;
        }
    }
}

// The channels of one pixel, clamped into the level, as setPixel takes them.
inline void getPixel4(int32_t x, int32_t y, const ImageBuffer* buffer, int32_t level, uint32_t* c0, uint32_t* c1,
                      uint32_t* c2, uint32_t* c3) {
    x = x < 0 ? 0 : x > buffer->levelLastX[level] ? buffer->levelLastX[level] : x;
    y = y < 0 ? 0 : y > buffer->levelLastY[level] ? buffer->levelLastY[level] : y;
    const uint8_t* p = pixelAddress(buffer, level, x, y);
    uint32_t* c[4] = {c0, c1, c2, c3};
    for (int i = 0; i < 4; i++) {
        switch (buffer->imageMode) {
            case ImageMode::Rgba8: *c[i] = p[3 - i]; break;
            case ImageMode::Rgba16: *c[i] = loadSample<uint16_t>(p + 2 * i); break;
            case ImageMode::RgbaFloat: *c[i] = loadSample<uint32_t>(p + 4 * i); break;
        }
    }
}

struct TestImage {
    ImageBuffer b{};
    bool created = false;

    TestImage() { resetImageBuffer(&b, nullptr, sharedWeightTable()); }
    TestImage(int32_t width, int32_t height, ImageMode mode) : TestImage() {
        created = createImageBuffer(&b, width, height, mode);
    }
    ~TestImage() { freeImageBuffer(&b); }
    TestImage(const TestImage&) = delete;
    TestImage& operator=(const TestImage&) = delete;

    // Sets every pixel of a level to value(x, y) in all channels: a sample of the mode's
    // integer scale, or a float for the float mode.
    template <typename Value>
    void fill(int32_t level, Value value) {
        bool isFloat = b.imageMode == ImageMode::RgbaFloat;
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
