// Tests of the output renderer: the rule that classifies a pixel by its corners and centre, and on
// real source images and pyramids how each pixel is sampled (once, not at all, 41 or 49 times),
// and that rows taking their single samples in batches give the bits of every pixel rendered on
// its own. How the sub-samples are weighted and their footprints show in the pinned runs' bits;
// whole images through the host, with their interiors and outsides, are the filter-run tests' part.
#include "warp/renderer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

#include "render_fixture.h"

namespace {

// Renders pixel x of the row rendered last once more, on its own, and tells how it was sampled.
// The colour is unscaled.
PixelSampling samplingOf(RenderFixture& f, int32_t x, float colour[4]) {
    PixelSampling sampling = pixelSamplingAt(&f.lane, x, f.lastRow);
    renderPixel(&f.lane, x, f.lastRow, sampling, colour);
    return sampling;
}

// Each set of corners (top-left 1, top-right 2, bottom-left 4, bottom-right 8) differing from
// the others, in which side of the rim they lie on or in whether they lie beyond the texture:
// a left or right pair is sampled across, a top or bottom pair down, anything else on the grid;
// with no corner differing, the centre decides whether the corners hide the rim.
TEST(Renderer, OneRuleClassifiesAPixelByItsCornersAndCentre) {
    using enum PixelSampling;
    const PixelSampling byDiffering[16] = {Single, Grid, Grid, Down, Grid, Across, Grid, Grid,
                                           Grid, Grid, Across, Grid, Down, Grid, Grid, Single};
    for (bool texture : {false, true}) {
        for (int32_t differing = 0; differing < 16; differing++) {
            CornerState c[4];
            for (int32_t i = 0; i < 4; i++) {
                bool flipped = differing >> i & 1;
                c[i] = {!(flipped && !texture), flipped && texture};
            }
            PixelSampling want = byDiffering[differing];
            if (differing == 15 && !texture) want = Grid;  // all four outside, the centre inside
            EXPECT_EQ(classifyPixel(c[0], c[1], c[2], c[3], true), want) << differing << (texture ? " texture" : " rim");
        }
    }
    const CornerState outside = {false, false}, inside = {true, false};
    EXPECT_EQ(classifyPixel(outside, outside, outside, outside, false), None);
    EXPECT_EQ(classifyPixel(inside, inside, inside, inside, false), Grid);
}

// Areas wider than high and higher than wide: every row rendered, then each of its pixels once
// more on its own from the level of detail the row started with, one after another, gives the
// row's bits and leaves the level of detail the row left.
TEST(Renderer, RowsTakingSingleSamplesInBatchesGiveTheBitsOfEachPixelOnItsOwn) {
    for (auto [width, height] : {std::pair{61, 23}, {19, 47}, {150, 9}}) {
        RenderFixture f(width, height, ImageMode::Rgba8);
        f.fillSource([](int32_t x, int32_t y, int32_t c) -> uint32_t {
            return c == 3 ? 255 - (x * y) % 70 : static_cast<uint32_t>((x * 29 + y * 13 + c * 71) % 256);
        });
        std::vector<uint8_t> alone(f.row.size());
        for (int32_t y = 0; y < height; y++) {
            LodSlot start = f.lane.lod;
            f.renderRowAt(y);
            LodSlot left = f.lane.lod;
            f.lane.lod = start;
            OutputRow out = {alone.data(), width, f.format};
            for (int32_t x = 0; x < width; x++) {
                float colour[4];
                samplingOf(f, x, colour);
                writeOutputPixel(&out, x, colour);
            }
            ASSERT_EQ(alone, f.row) << width << " x " << height << " row " << y;
            ASSERT_EQ(std::bit_cast<uint32_t>(f.lane.lod.cachedLod), std::bit_cast<uint32_t>(left.cachedLod)) << y;
        }
    }
}

uint32_t opaque(int32_t, int32_t, int32_t channel) { return channel == 3 ? 255 : 60 * channel + 40; }

bool isWhole(float v) { return std::fabs(v - std::round(v)) < 1e-3f; }

TEST(Renderer, RimPixelsSupersampleAlongTheAxisTheCornersDisagreeIn) {
    const int32_t n = 64;
    RenderFixture f(n, n, ImageMode::Rgba8);
    f.fillSource(opaque);

    // Over every pixel: the pattern it takes, where it lies, and whether its alpha counts the
    // covered sub-samples of that pattern (41 along one axis, 49 on the 7 x 7 grid).
    int32_t counts[5] = {};
    for (int32_t y = 0; y < n; y++) {
        f.renderRowAt(y);
        for (int32_t x = 0; x < n; x++) {
            float colour[4];
            PixelSampling sampling = samplingOf(f, x, colour);
            counts[static_cast<int>(sampling)]++;
            float dx = std::fabs(x + 0.5f - n / 2.0f);
            float dy = std::fabs(y + 0.5f - n / 2.0f);
            if (sampling == PixelSampling::Across) {
                EXPECT_GT(dx, dy) << x << ", " << y;
                EXPECT_TRUE(isWhole(colour[3] * 41.0f)) << x << ", " << y;
            } else if (sampling == PixelSampling::Down) {
                EXPECT_GT(dy, dx) << x << ", " << y;
                EXPECT_TRUE(isWhole(colour[3] * 41.0f)) << x << ", " << y;
            } else if (sampling == PixelSampling::Grid) {
                EXPECT_TRUE(isWhole(colour[3] * 49.0f)) << x << ", " << y;
            } else {
                EXPECT_TRUE(colour[3] == 0.0f || colour[3] == 1.0f) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(counts[static_cast<int>(PixelSampling::Across)], 8);
    EXPECT_GT(counts[static_cast<int>(PixelSampling::Down)], 8);
    EXPECT_GT(counts[static_cast<int>(PixelSampling::Grid)], 8);

    // A one-pixel area: the corners lie outside the disc, the centre inside, so the pixel takes
    // the grid and 29 of its 49 sub-samples are covered; stored, the alpha is lifted by 1.007.
    RenderFixture one(1, 1, ImageMode::Rgba8);
    one.fillSource(opaque);
    one.renderRowAt(0);
    float colour[4];
    EXPECT_EQ(samplingOf(one, 0, colour), PixelSampling::Grid);
    EXPECT_EQ(colour[3], 29.0f / 49.0f);
    EXPECT_EQ(std::vector<uint8_t>(one.pixel(0, 0), one.pixel(0, 0) + 4),
              (std::vector<uint8_t>{40, 100, 160, static_cast<uint8_t>(29.0 / 49.0 * 255.0 * 1.007)}));
}

}  // namespace
