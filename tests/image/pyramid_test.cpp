// Tests of the image pyramid: each format's conversion and its drift over levels, every format
// against a slow reference across clamped edges and tile seams, and when nothing is reduced.
#include "image/pyramid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <random>

#include "image/work_queue.h"

namespace {

// A buffer on the global-memory route and a queue of one job to build its pyramid on.
struct PyramidBuffer {
    JobRecord job{};
    WorkQueue queue{&job, 0, 1};
    ImageBuffer b{};
    PyramidBuffer() { resetImageBuffer(&b, nullptr, nullptr); }
    ~PyramidBuffer() { freeImageBuffer(&b); }
    void build() { buildPyramid(&b, &queue); }
};

using Pixel = std::array<uint32_t, 4>;

uint32_t channelsOf(const ImageBuffer* b) {
    return b->imageMode == kImageVector16 ? 3 : b->bytesPerPixel >= 4 && b->imageMode != kImageGrayFloat ? 4 : 1;
}

Pixel readPixel(const ImageBuffer* b, int32_t level, int32_t x, int32_t y) {
    Pixel c{};
    if (channelsOf(b) == 1) c[0] = getPixel1(x, y, b, level);
    else getPixel4(x, y, b, level, &c[0], &c[1], &c[2], &c[3]);
    return c;
}

void fillLevel0(ImageBuffer* b, const Pixel& c) {
    for (int32_t y = 0; y <= b->levelLastY[0]; y++)
        for (int32_t x = 0; x <= b->levelLastX[0]; x++)
            setPixel(x, y, b, 0, c[0], c[1], c[2], c[3]);
}

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

TEST(PyramidReduce, UniformImagesDriftOrStayByFormat) {
    struct Case { uint32_t mode; Pixel level0; std::array<Pixel, 3> levels; };
    auto same = [](Pixel p) { return std::array<Pixel, 3>{p, p, p}; };
    const Case cases[] = {
        {kImageRgba8, {200, 162, 255, 0},
         {{{201, 162, 255, 0}, {202, 162, 255, 0}, {203, 162, 255, 0}}}},
        {kImageGray8, {200}, {{{201}, {202}, {203}}}},
        {kImageRgba16, {10000, 32768, 65535, 0},
         {{{10061, 32768, 32768, 0}, {10122, 32768, 32768, 0}, {10184, 32768, 32768, 0}}}},
        {kImageRgbaFloat, {bits(1.0f), bits(-0.5f), bits(1e6f), bits(0.25f)},
         same({bits(1.0f), 0, bits(65535.0f), bits(0.25f)})},
    };
    for (const Case& c : cases) {
        for (int32_t side : {5, 1}) {  // levels 5, 4, 2, 1 wide; a 1 x 1 image has one more 1 x 1
            PyramidBuffer buf;
            ASSERT_TRUE(createImageBuffer(&buf.b, side, side, c.mode, kWrapClamp, false));
            fillLevel0(&buf.b, c.level0);
            buf.build();
            for (int32_t level = 1; level <= buf.b.lastLevel; level++)
                for (int32_t y = 0; y <= buf.b.levelLastY[level]; y++)
                    for (int32_t x = 0; x <= buf.b.levelLastX[level]; x++)
                        ASSERT_EQ(readPixel(&buf.b, level, x, y), c.levels[level - 1])
                            << "mode " << c.mode << " side " << side << " level " << level;
        }
    }
}

// Pixel (X, Y) of level + 1 the slow way: the kernel table read off tap by tap, rows outer,
// with clamped single-pixel reads of level.
Pixel referencePixel(const ImageBuffer* b, int32_t level, int32_t X, int32_t Y) {
    static const int32_t kWeights[6][6] = {
        {0, 1, 4, 4, 1, 0},       {1, 16, 64, 64, 16, 1}, {4, 64, 256, 256, 64, 4},
        {4, 64, 256, 256, 64, 4}, {1, 16, 64, 64, 16, 1}, {0, 1, 4, 4, 1, 0}};
    Pixel out{};
    bool box = b->imageMode == kImageVector16;  // a 2 x 2 box at 2X, 2Y instead
    bool isFloat = b->imageMode == kImageGrayFloat || b->imageMode == kImageRgbaFloat;
    for (uint32_t c = 0; c < channelsOf(b); c++) {
        float floatSum = 0.0f;
        int32_t integerSum = 0;
        for (int32_t dy = box ? 0 : -2; dy <= (box ? 1 : 3); dy++)
            for (int32_t dx = box ? 0 : -2; dx <= (box ? 1 : 3); dx++) {
                int32_t w = box ? 1 : kWeights[dy + 2][dx + 2];
                if (w == 0) continue;
                uint32_t v = readPixel(b, level, 2 * X + dx, 2 * Y + dy)[c];
                if (isFloat) floatSum += static_cast<float>(w) * std::bit_cast<float>(v);
                else integerSum += w * static_cast<int32_t>(v);
            }
        if (box) {
            out[c] = static_cast<uint32_t>(std::clamp(integerSum / (c < 2 ? 2 : 4), -32767, 32767));
        } else if (isFloat) {
            out[c] = bits(std::clamp(floatSum * 0.0006097561f, 0.0f, 65535.0f));
        } else {
            float v = static_cast<float>(integerSum) * 0.00061349693f;
            out[c] = static_cast<uint32_t>(std::min(v, imageModeLayout(b->imageMode).fullScale));
        }
    }
    return out;
}

TEST(PyramidReduce, EveryFormatMatchesASlowReferenceAcrossSeamsAndEdges) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> floats(-0.5f, 1.5f);
    // Odd sides; level 1 windows straddle the tile seams at 512, and the wide image's level-1
    // rows are long enough to be located in more than one run of columns.
    const int32_t sizes[][2] = {{521, 515}, {2101, 3}};
    for (uint32_t mode : {0u, 1u, 3u, 4u, 5u, 7u, 9u}) {
        for (const auto& size : sizes) {
            PyramidBuffer buf;
            ImageBuffer* b = &buf.b;
            ASSERT_TRUE(createImageBuffer(b, size[0], size[1], mode, kWrapClamp, false));
            for (int32_t y = 0; y <= b->levelLastY[0]; y++)
                for (int32_t x = 0; x <= b->levelLastX[0]; x++) {
                    Pixel c;  // integer samples over their whole range, floats beyond 0..1
                    bool isFloat = mode == kImageGrayFloat || mode == kImageRgbaFloat;
                    for (uint32_t& v : c) v = isFloat ? bits(floats(random)) : random();
                    if (mode <= 1 || mode == 4) for (uint32_t& v : c) v &= mode == 0 ? 255 : 65535;
                    setPixel(x, y, b, 0, c[0], c[1], c[2], c[3]);
                }
            buf.build();
            for (int32_t level = 0; level < b->lastLevel; level++)
                for (int32_t y = 0; y <= b->levelLastY[level + 1]; y++)
                    for (int32_t x = 0; x <= b->levelLastX[level + 1]; x++)
                        ASSERT_EQ(readPixel(b, level + 1, x, y), referencePixel(b, level, x, y))
                            << "mode " << mode << " width " << size[0] << " level " << level + 1
                            << " at " << x << "," << y;
        }
    }
}

TEST(PyramidBuild, SkippedBuildsLayoutsAndLevelsLeaveTheirPixels) {
    // No pyramid wanted: nothing reduced.
    PyramidBuffer buf;
    ASSERT_TRUE(createImageBuffer(&buf.b, 5, 5, kImageGray8, kWrapNoPyramid, false));
    fillLevel0(&buf.b, {200});
    buf.build();
    EXPECT_EQ(getPixel1(0, 0, &buf.b, 1), 0u);

    // A job reduces whatever the wrap mode, within its rectangle clamped in place; a level with
    // nothing above it is ignored.
    Rect16 rect = {-3, -4, 500, 600};
    reduceLevel(&buf.b, buf.b.lastLevel, &rect);
    EXPECT_EQ(rect.top, -3);
    reduceLevel(&buf.b, 0, &rect);
    EXPECT_EQ((std::array<int, 4>{rect.top, rect.left, rect.bottom, rect.right}),
              (std::array<int, 4>{0, 0, 4, 4}));
    EXPECT_EQ(getPixel1(3, 3, &buf.b, 1), 201u);

    // The half layout has no reduction.
    ASSERT_TRUE(createImageBuffer(&buf.b, 5, 5, kImageHalf, kWrapClamp, false));
    fillLevel0(&buf.b, {0x3C00});
    buf.build();
    EXPECT_EQ(getPixel1(0, 0, &buf.b, 1), 0u);
}

}  // namespace
