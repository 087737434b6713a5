// Tests of the tiled image buffer: level sizes and tile layout, and that refused or repeated
// creations keep no stale block. Where each pixel is stored shows in the pyramid's and kernels'
// tests, whose vector paths address tiles on their own.
#include "image/image_buffer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "support/global_memory_hooks.h"
#include "support/test_image.h"

namespace {

TEST(ImageBufferLayout, LevelsHalveToOneByOneAndTilesCoverThem) {
    struct Case { int32_t w, h; std::vector<int32_t> widths, heights; };  // no heights: all 1
    const Case cases[] = {
        {1000, 10, {1000, 500, 250, 126, 64, 32, 16, 8, 4, 2, 1}, {10, 6, 4, 2, 1, 1, 1, 1, 1, 1, 1}},
        {5, 5, {5, 4, 2, 1}, {5, 4, 2, 1}},
        {1, 1, {1, 1}, {1, 1}},  // still two levels and two tiles
        {32767, 1, {32767, 16384, 8192, 4096, 2048, 1024, 512, 256, 128, 64, 32, 16, 8, 4, 2, 1}, {}},
    };
    for (Case c : cases) {
        TestImage buf(c.w, c.h, ImageMode::Rgba8);
        ASSERT_TRUE(buf.created) << c.w;
        EXPECT_EQ(buf.b.lastLevel + 1, static_cast<int32_t>(c.widths.size())) << c.w;
        EXPECT_EQ(static_cast<int32_t>(buf.b.levelLastTile[buf.b.lastLevel]) + 1, buf.b.tileCount);
        if (c.heights.empty()) c.heights.assign(c.widths.size(), 1);
        c.widths.resize(kMaxLevels), c.heights.resize(kMaxLevels);  // past the last level: 0
        EXPECT_EQ(std::vector<int32_t>(buf.b.levelWidth, buf.b.levelWidth + 20), c.widths);
        EXPECT_EQ(std::vector<int32_t>(buf.b.levelHeight, buf.b.levelHeight + 20), c.heights);
    }

    TestImage buf(513, 512, ImageMode::Rgba8);  // two tiles at level 0, the second one pixel wide
    EXPECT_EQ(buf.b.levelFirstTile[1], 2u);
    Rect16 r = tileRect(&buf.b, 1);
    EXPECT_EQ((std::array<int, 4>{r.top, r.left, r.bottom, r.right}), (std::array<int, 4>{0, 512, 512, 513}));
    // Asking for a tile the buffer does not have breaks an invariant: the test build stops.
    EXPECT_DEATH(tileRect(&buf.b, buf.b.tileCount), "check failed: .*tileIndex < buffer->tileCount");
}

// Sizes a buffer cannot have are refused before anything changes; a creation that replaces a
// buffer keeps no stale block. Creations that run out of memory are the fault walk's part.
TEST(ImageBufferLifecycle, RefusedOrRepeatedCreationKeepsNoStaleBlocks) {
    int32_t start = globalMemoryLiveBlocks();
    TestImage buf;
    freeImageBuffer(&buf.b);  // holds nothing yet
    ASSERT_TRUE(createImageBuffer(&buf.b, 40, 30, ImageMode::Rgba16));
    unsigned char before[sizeof(ImageBuffer)];
    std::memcpy(before, &buf.b, sizeof before);
    for (auto [width, height] : {std::pair{0, 10}, {10, 0}, {32768, 10}, {10, 32768}, {-1, 10}}) {
        EXPECT_FALSE(createImageBuffer(&buf.b, width, height, ImageMode::Rgba8));
        EXPECT_EQ(std::memcmp(before, &buf.b, sizeof before), 0) << width << " x " << height;
    }
    ASSERT_TRUE(createImageBuffer(&buf.b, 1100, 600, ImageMode::Rgba8));
    ASSERT_TRUE(createImageBuffer(&buf.b, 50, 50, ImageMode::RgbaFloat));
    EXPECT_EQ(globalMemoryLiveBlocks(), start + buf.b.tileCount + 1);
    freeImageBuffer(&buf.b);
    EXPECT_EQ(buf.b.tileCount, 0);
    EXPECT_EQ(globalMemoryLiveBlocks(), start);
}

}  // namespace
