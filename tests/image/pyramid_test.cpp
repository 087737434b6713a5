// Tests of the image pyramid: every source format against a slow reference across clamped
// edges and tile seams, on images from one pixel to wider than several tiles.
#include "image/pyramid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <random>

#include "support/test_image.h"

namespace {

using Pixel = std::array<uint32_t, 4>;

Pixel readPixel(const ImageBuffer* b, int32_t level, int32_t x, int32_t y) {
    Pixel c{};
    getPixel4(x, y, b, level, &c[0], &c[1], &c[2], &c[3]);
    return c;
}

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

// Pixel (X, Y) of level + 1 the slow way: the kernel table read off tap by tap, rows outer,
// with clamped single-pixel reads of level; integer sums scaled and kept within full scale,
// float ones kept within 0..65535.
Pixel referencePixel(const ImageBuffer* b, int32_t level, int32_t X, int32_t Y) {
    static const int32_t kWeights[6][6] = {
        {0, 1, 4, 4, 1, 0},       {1, 16, 64, 64, 16, 1}, {4, 64, 256, 256, 64, 4},
        {4, 64, 256, 256, 64, 4}, {1, 16, 64, 64, 16, 1}, {0, 1, 4, 4, 1, 0}};
    Pixel out{};
    bool isFloat = b->imageMode == ImageMode::RgbaFloat;
    for (uint32_t c = 0; c < 4; c++) {
        float floatSum = 0.0f;
        int32_t integerSum = 0;
        for (int32_t dy = -2; dy <= 3; dy++)
            for (int32_t dx = -2; dx <= 3; dx++) {
                int32_t w = kWeights[dy + 2][dx + 2];
                if (w == 0) continue;
                uint32_t v = readPixel(b, level, 2 * X + dx, 2 * Y + dy)[c];
                if (isFloat) floatSum += static_cast<float>(w) * std::bit_cast<float>(v);
                else integerSum += w * static_cast<int32_t>(v);
            }
        if (isFloat) {
            out[c] = bits(std::clamp(floatSum * 0.0006097561f, 0.0f, 65535.0f));
        } else {
            float v = static_cast<float>(integerSum) * 0.00061349693f;
            out[c] = static_cast<uint32_t>(std::min(v, imageModeLayout(b->imageMode).fullScale));
        }
    }
    return out;
}

TEST(PyramidReduce, EverySourceFormatMatchesASlowReferenceAcrossSeamsAndEdges) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> floats(-0.5f, 1.5f);
    // Odd sides; level 1 windows straddle the tile seams at 512, the wide image's level-1 rows
    // are long enough to be located in more than one run of columns, and a 1 x 1 image has one
    // more 1 x 1 level.
    const int32_t sizes[][2] = {{521, 515}, {2101, 3}, {1, 1}};
    for (ImageMode mode : {ImageMode::Rgba8, ImageMode::Rgba16, ImageMode::RgbaFloat}) {
        for (const auto& size : sizes) {
            TestImage buf(size[0], size[1], mode);
            ImageBuffer* b = &buf.b;
            for (int32_t y = 0; y <= b->levelLastY[0]; y++)
                for (int32_t x = 0; x <= b->levelLastX[0]; x++) {
                    // Integer samples over their whole range (16-bit beyond full scale), floats
                    // beyond 0..1 and now and then far beyond 65535.
                    Pixel c;
                    for (uint32_t& v : c) v = mode == ImageMode::RgbaFloat ? bits(x % 97 ? floats(random) : 1e6f) : random() & 0xFFFF;
                    setPixel(x, y, b, 0, c[0], c[1], c[2], c[3]);
                }
            buf.reduce();
            for (int32_t level = 0; level < b->lastLevel; level++)
                for (int32_t y = 0; y <= b->levelLastY[level + 1]; y++)
                    for (int32_t x = 0; x <= b->levelLastX[level + 1]; x++)
                        ASSERT_EQ(readPixel(b, level + 1, x, y), referencePixel(b, level, x, y))
                            << "mode " << static_cast<int>(mode) << " width " << size[0] << " level " << level + 1 << " at " << x << "," << y;
        }
    }
}

}  // namespace
