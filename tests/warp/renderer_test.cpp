// Tests of the output renderer on real source images and pyramids: how each pixel is sampled
// (once, not at all, 41 or 49 times) and a supersampled pixel's colour from its sub-samples. The
// sub-samples' footprints show in the pinned runs' bits; whole images through the host, with
// their interiors and outsides, are the filter-run tests' part.
#include "warp/renderer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "render_fixture.h"

namespace {

// Renders pixel x of the row rendered last once more and tells which sample pattern it took:
// 0 for a single sample (or none), else the supersampling bits. The colour is unscaled.
int32_t patternOf(RenderFixture& f, int32_t x, float colour[4]) {
    PixelCornerState state;
    for (int i = 0; i < 4; i++) colour[i] = 0.0f;
    classifyPixelCorners(colour, kFootprintReduction, &f.source, f.columns.data(), x, f.lastRow,
                         f.lane.parity, &f.lane, kDispatchCheckCentre, 1, &state);
    return state.differenceBits;
}

uint32_t opaque(int32_t, int32_t, int32_t channel) { return channel == 3 ? 255 : 60 * channel + 40; }

bool isWhole(float v) { return std::fabs(v - std::round(v)) < 1e-3f; }

TEST(Renderer, OnePixelAreaIsSampledOnTheSevenBySevenGrid) {
    RenderFixture f(1, 1, kImageRgba8);
    f.fillSource(opaque);
    f.renderRowAt(0);

    // The corners lie outside the disc, the centre inside: 29 of 49 sub-samples are covered.
    float colour[4];
    EXPECT_EQ(patternOf(f, 0, colour), 3);
    EXPECT_EQ(colour[3], 29.0f / 49.0f);
    EXPECT_NEAR(colour[0], 40.0f / 255.0f, 1e-6f);
    const uint8_t* p = f.pixel(0, 0);
    EXPECT_EQ(p[0], 40);
    EXPECT_EQ(p[1], 100);
    EXPECT_EQ(p[3], static_cast<int>(29.0 / 49.0 * 255.0 * 1.007));
}

TEST(Renderer, RimPixelsSupersampleAlongTheAxisTheCornersDisagreeIn) {
    const int32_t n = 64;
    RenderFixture f(n, n, kImageRgba8);
    f.fillSource(opaque);

    // Over every pixel: the pattern it takes, where it lies, and whether its alpha counts the
    // covered sub-samples of that pattern (41 along one axis, 49 on the 7 x 7 grid).
    int32_t counts[4] = {};
    for (int32_t y = 0; y < n; y++) {
        f.renderRowAt(y);
        for (int32_t x = 0; x < n; x++) {
            float colour[4];
            int32_t bits = patternOf(f, x, colour);
            counts[bits]++;
            float dx = std::fabs(x + 0.5f - n / 2.0f);
            float dy = std::fabs(y + 0.5f - n / 2.0f);
            if (bits == 1) {
                EXPECT_GT(dx, dy) << x << ", " << y;
                EXPECT_TRUE(isWhole(colour[3] * 41.0f)) << x << ", " << y;
            } else if (bits == 2) {
                EXPECT_GT(dy, dx) << x << ", " << y;
                EXPECT_TRUE(isWhole(colour[3] * 41.0f)) << x << ", " << y;
            } else if (bits == 3) {
                EXPECT_TRUE(isWhole(colour[3] * 49.0f)) << x << ", " << y;
            } else {
                EXPECT_TRUE(colour[3] == 0.0f || colour[3] == 1.0f) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(counts[1], 8);
    EXPECT_GT(counts[2], 8);
    EXPECT_GT(counts[3], 8);
}

// A supersampled pixel's colour worked out from its sub-samples: colours weighted by alpha and
// summed in float, each sum times the reciprocal of the alpha sum in double, rounded once to
// float. Returns how many channels a reciprocal rounded to float first would have moved.
int32_t expectColourFromItsSums(RenderFixture& f, int32_t x, int32_t y, int32_t bits, const float colour[4]) {
    const int32_t reachX = bits == 2 ? 0 : bits == 1 ? 20 : 3, reachY = bits == 1 ? 0 : bits == 2 ? 20 : 3;
    const float stepX = reachX ? static_cast<float>(1.0 / (2 * reachX)) : 0.0f;
    const float stepY = reachY ? static_cast<float>(1.0 / (2 * reachY)) : 0.0f;
    float sums[4] = {};
    for (int32_t j = -reachY; j <= reachY; j++) {
        for (int32_t i = -reachX; i <= reachX; i++) {
            MapResult c = {};
            SampleFootprint fp;
            mapSampleFootprint(static_cast<float>((static_cast<double>(i * stepX) - 0.5) + x),
                               static_cast<float>((static_cast<double>(j * stepY) - 0.5) + y), &f.source, &f.lane,
                               &c, &fp);
            float s[4] = {};
            f.lane.lod.reuseLod = 0;
            if (c.status == kMapMapped)
                sampleFiltered(fp.bottomLeft.x, fp.bottomLeft.y, fp.topRight.x, fp.topRight.y, fp.bottomRight.x,
                               fp.bottomRight.y, c.s, c.t, &f.source, s, kFootprintReduction, &f.lane.lod);
            for (int k = 0; k < 4; k++) sums[k] += s[3] * (k < 3 ? s[k] : 1.0f);
        }
    }
    int32_t moved = 0;
    for (int k = 0; k < 3 && sums[3] > 0.0f; k++) {
        float expected = static_cast<float>(sums[k] * (1.0 / sums[3]));
        EXPECT_EQ(colour[k], expected) << x << ", " << y << " channel " << k;
        moved += static_cast<float>(sums[k] * static_cast<double>(static_cast<float>(1.0 / sums[3]))) != expected;
    }
    return moved;
}

TEST(Renderer, RimColourIsItsSumsTimesTheAlphaSumsReciprocalInDouble) {
    RenderFixture f(24, 24, kImageRgba16);
    f.fillSource([](int32_t x, int32_t y, int32_t c) -> uint32_t {
        return c == 3 ? 32768 : static_cast<uint32_t>((x * 1361 + y * 977 + c * 4099) % 32769);
    });
    int32_t moved = 0;
    for (int32_t y = 0; y < 24; y++) {
        f.renderRowAt(y);
        for (int32_t x = 0; x < 24; x++) {
            LodSlot lod = f.lane.lod;  // the sums start from the level of detail the pixel started from
            float colour[4];
            int32_t bits = patternOf(f, x, colour);
            f.lane.lod = lod;
            if (bits != 0) moved += expectColourFromItsSums(f, x, y, bits, colour);
        }
    }
    EXPECT_GT(moved, 0);  // the rim has pixels whose sums tell the two readings apart
}

}  // namespace
