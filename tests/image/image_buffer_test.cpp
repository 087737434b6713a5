// Tests of the tiled image buffer: level sizes, tile layout, pixel storage for the source
// formats a run creates, and that every failure path gives back all the memory it took.
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

// A value of its own for every channel of every pixel.
std::array<uint32_t, 4> pixelValue(uint32_t x, uint32_t y, uint32_t level) {
    std::array<uint32_t, 4> k;
    for (uint32_t i = 0; i < 4; i++) {
        k[i] = (x * 73856093u ^ y * 19349663u ^ (level * 4 + i) * 83492791u) * 0x9E3779B9u;
        k[i] ^= k[i] >> 16;
    }
    return k;
}

// Every pixel of two levels, across four tiles, gets its own value before any is read back; a
// mode keeps the bits of its sample size.
TEST(ImageBufferPixels, EverySourceFormatRoundTripsEveryPixel) {
    for (ImageMode mode : {ImageMode::Rgba8, ImageMode::Rgba16, ImageMode::RgbaFloat}) {
        TestImage buf(520, 514, mode);
        ImageBuffer* b = &buf.b;
        const uint32_t mask = mode == ImageMode::Rgba8 ? 0xFF : mode == ImageMode::Rgba16 ? 0xFFFF : ~0u;
        for (int pass = 0; pass < 2; pass++)
            for (int32_t level = 0; level < 2; level++)
                for (int32_t y = 0; y <= b->levelLastY[level]; y++)
                    for (int32_t x = 0; x <= b->levelLastX[level]; x++) {
                        std::array<uint32_t, 4> k = pixelValue(x, y, level), got{};
                        if (pass == 0) {
                            setPixel(x, y, b, level, k[0], k[1], k[2], k[3]);
                            continue;
                        }
                        for (uint32_t& v : k) v &= mask;
                        getPixel4(x, y, b, level, &got[0], &got[1], &got[2], &got[3]);
                        ASSERT_EQ(got, k) << static_cast<int>(mode) << level << " " << x << "," << y;
                    }
    }
}

TEST(ImageBufferLifecycle, RefusalLeavesTheBufferAsItWas) {
    TestImage buf(10, 10, ImageMode::Rgba8);
    unsigned char before[sizeof(ImageBuffer)];
    std::memcpy(before, &buf.b, sizeof before);
    int32_t live = globalMemoryLiveBlocks();
    const int32_t bad[][2] = {{0, 10}, {10, 0}, {32768, 10}, {10, 32768}, {-1, 10}};
    for (const auto& a : bad) {
        EXPECT_FALSE(createImageBuffer(&buf.b, a[0], a[1], ImageMode::Rgba8));
        EXPECT_EQ(std::memcmp(before, &buf.b, sizeof before), 0) << "case " << (&a - bad);
    }
    EXPECT_EQ(globalMemoryLiveBlocks(), live);
}

TEST(ImageBufferLifecycle, FailedOrRepeatedCreationKeepsNoStaleBlocks) {
    int32_t start = globalMemoryLiveBlocks();
    TestImage buf;
    freeImageBuffer(&buf.b);  // holds nothing yet
    ASSERT_TRUE(createImageBuffer(&buf.b, 40, 30, ImageMode::Rgba16));
    for (int32_t allowed : {0, 1, 4}) {  // the table fails, the first tile, a tile halfway
        globalMemoryLimitAllocations(allowed);
        EXPECT_FALSE(createImageBuffer(&buf.b, 1100, 600, ImageMode::Rgba8)) << allowed;
        globalMemoryLimitAllocations(-1);
        EXPECT_EQ(buf.b.tileCount, 0);
        EXPECT_EQ(globalMemoryLiveBlocks(), start) << allowed;
    }
    ASSERT_TRUE(createImageBuffer(&buf.b, 1100, 600, ImageMode::Rgba8));
    ASSERT_TRUE(createImageBuffer(&buf.b, 50, 50, ImageMode::RgbaFloat));
    EXPECT_EQ(globalMemoryLiveBlocks(), start + buf.b.tileCount + 1);
    freeImageBuffer(&buf.b);
    EXPECT_EQ(buf.b.tileCount, 0);
    EXPECT_EQ(globalMemoryLiveBlocks(), start);
}

}  // namespace
