// Tests of the texture sampler on images whose pyramid levels are uniform with the level's own
// number, so a sample's value tells which level and fraction it read, and on a one-texel line,
// which tells how the probes spread.
#include "sampling/texture_sampler.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <vector>

#include "sampling/kernels.h"
#include "sampling/level_of_detail.h"
#include "support/test_image.h"

namespace {

constexpr int32_t kSize = 256;  // levels 0..8
constexpr float kTexel = 1.0f / kSize;

// Samples at the centre with neighbours P - d1 and P - d2, d1 and d2 in level-0 texels.
struct Sample {
    float value;
    float lod;
};
Sample sampleAt(const ImageBuffer& b, float d1x, float d1y, float d2x, float d2y,
                float reduction = 0.0f, float sx = 0.5f, float sy = 0.5f) {
    LodSlot slot = {-100.0f, 0, 0};
    float out[4];
    sampleFiltered(0.5f - d1x * kTexel, 0.5f - d1y * kTexel, 0.5f - d2x * kTexel,
                   0.5f - d2y * kTexel, 0.5f, 0.5f, sx, sy, &b, out, reduction, &slot);
    return {out[0], slot.cachedLod};
}

TEST(TextureSampler, LevelOfDetailFollowsTheMinorRadiusOrTheSlot) {
    TestImage image(kSize, kSize, ImageMode::RgbaFloat);  // level L holds the value L everywhere
    for (int32_t level = 0; level <= image.b.lastLevel; level++) image.fill(level, [&](int32_t, int32_t) { return level; });

    // Footprints in level-0 texels, the level of detail they take and the value they read,
    // which is that level unless given: a round one of two texels just below level 1, as the
    // square root is low; eight texels shrunk by the renderer's reduction of 0.3 to 6.8; below a
    // texel, level 0, the slot keeping the raw value; far beyond the last level, the conic's
    // guard capping the radius at sqrt(2e6), the read at level 8, whose pair starts at level 7,
    // unblended; and sheared, (8, 8) and (8, 0), whose minor radius sqrt(128 / (3 + sqrt 5)) is
    // shorter than either vector.
    const struct {
        float d1x, d1y, d2x, d2y, reduction;
        double lod, lodTolerance, value;
    } cases[] = {
        {2, 0, 0, 2, 0.0f, 0.99995, 4.9e-5, NAN},
        {8, 0, 0, 8, 0.3f, std::log2(6.8), 1e-4, NAN},
        {0.1f, 0, 0, 0.1f, 0.0f, 0.0, 1e-4, 0.0},
        {2000, 0, 0, 2000, 0.0f, std::log2(std::sqrt(2e6)), 1e-4, 7.0},
        {8, 8, 8, 0, 0.0f, std::log2(std::sqrt(128.0 / (3.0 + std::sqrt(5.0)))), 1e-4, NAN},
    };
    for (const auto& c : cases) {
        Sample s = sampleAt(image.b, c.d1x, c.d1y, c.d2x, c.d2y, c.reduction);
        EXPECT_NEAR(s.lod, c.lod, c.lodTolerance) << c.d1x << ", " << c.d1y;
        EXPECT_NEAR(s.value, std::isnan(c.value) ? s.lod : c.value, 1e-5) << c.d1x << ", " << c.d1y;
    }

    // Both neighbours missing: the cached level, blended, and the slot left as it was. One
    // missing: the other stands in for it, and two equal vectors span a line, whose minor radius
    // falls to the floor of half a texel.
    float out[4], n = 0.5f - 20 * kTexel;
    LodSlot slot = {2.5f, 0, 0}, single = {0, 0, 0};
    sampleFiltered(kMissingPosition, 7.0f, kMissingPosition, 7.0f, 0.5f, 0.5f, 0.4f, 0.4f, &image.b, out, 0.3f, &slot);
    EXPECT_NEAR(out[0], 2.5f, 1e-5f);
    EXPECT_EQ(slot.cachedLod, 2.5f);
    sampleFiltered(kMissingPosition, 0.0f, n, n, 0.5f, 0.5f, 0.5f, 0.5f, &image.b, out, 0.0f, &single);
    EXPECT_FLOAT_EQ(single.cachedLod, -1.0f);
}

TEST(TextureSampler, ProbesSpreadAlongTheMajorAxisUnlessTheMappingJumps) {
    // A bright column one texel wide through the sample position, on a black level 0.
    TestImage image(kSize, kSize, ImageMode::RgbaFloat);
    image.fill(0, [](int32_t x, int32_t) { return x == 128 ? 1.0f : 0.0f; });
    for (int32_t level = 1; level <= image.b.lastLevel; level++) {
        image.fill(level, [](int32_t, int32_t) { return 0.0f; });
    }
    const float sx = 128.5f * kTexel;
    float centre[4];
    readLevelPair(&image.b, 0, 0.0f, sx, 0.5f, centre);
    ASSERT_GT(centre[0], 0.8f);

    // Eight texels across the column: the probes leave it and the average drops.
    Sample across = sampleAt(image.b, 8, 0, 0, 1, 0.0f, sx);
    EXPECT_LT(across.value, 0.3f);
    // Eight texels along it: every probe stays on it.
    Sample along = sampleAt(image.b, 0, 8, 1, 0, 0.0f, sx);
    EXPECT_NEAR(along.value, centre[0], 1e-6f);
    // A neighbour more than half the image away marks a jump: one read, no probes.
    Sample jump = sampleAt(image.b, 200, 0, 0, 1, 0.0f, sx);
    EXPECT_EQ(jump.value, centre[0]);
    // Elongated but below a texel in both radii: one read of level 0 where the sample is.
    Sample small = sampleAt(image.b, 0.9f, 0.9f, 0, 0, 0.8f, sx);
    EXPECT_EQ(small.value, centre[0]);

    // How many probes, spread over what share of the major radius: one while nearly round, two
    // moving apart from 1.25 to 1.5 (halfway at 1.375), then the rounded ratio, at most 20.
    const struct {
        float anisotropy;
        int32_t count;
        float spread;
    } layouts[] = {{1.2f, 1, 1.0f}, {1.375f, 2, 0.5f}, {1.5f, 2, 1.0f}, {2.6f, 3, 1.0f}, {40.0f, 20, 1.0f}};
    for (const auto& l : layouts) {
        EXPECT_EQ(probeLayout(l.anisotropy).count, l.count) << l.anisotropy;
        EXPECT_EQ(probeLayout(l.anisotropy).spread, l.spread) << l.anisotropy;
    }
}

// Random numbers in [0, 1) that every build draws alike; random images and footprints drawn
// from them.
struct Random {
    uint32_t state = 12345;
    float operator()() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) * (1.0f / 16777216.0f);
    }
    // Every level of the image, samples over the whole range of its format.
    void fill(TestImage& image) {
        const double full = image.b.imageMode == ImageMode::Rgba8 ? 255 : image.b.imageMode == ImageMode::Rgba16 ? 32768 : 1.5;
        for (int32_t level = 0; level <= image.b.lastLevel; level++) {
            image.fill(level, [&](int32_t, int32_t) {
                double v = (*this)() * full;
                return image.b.imageMode == ImageMode::RgbaFloat ? v : static_cast<double>(static_cast<int32_t>(v));
            });
        }
    }
    // A footprint of random size and shape at a random place: the neighbours n1 and n2, the
    // sample p, and the point s beside it.
    struct Footprint {
        float n1x, n1y, n2x, n2y, px, py, sx, sy;
    };
    Footprint footprint() {
        Random& unit = *this;
        float px = unit(), py = unit(), spread = unit() * unit() * 0.3f;
        float n1x = px - (unit() - 0.5f) * spread, n1y = py - (unit() - 0.5f) * spread;
        float n2x = px - (unit() - 0.5f) * spread, n2y = py - (unit() - 0.5f) * spread;
        return {n1x, n1y, n2x, n2y, px, py, px + (unit() - 0.5f) * 0.01f, py};
    }
};

// Samples taken together in the lanes of every instruction set the processor has give the bits
// of one call after another on the portable set, with the same slot; some lack one neighbour.
TEST(TextureSampler, LanesGiveTheBitsOfOneCallAfterAnother) {
    Random unit;
    TestImage image(300, 200, ImageMode::Rgba16);
    unit.fill(image);
    constexpr int32_t kGroups = 13;
    std::vector<SampleLanes> groups(kGroups);
    for (SampleLanes& r : groups) {
        for (int32_t i = 0; i < kMaxSampleLanes; i++) {
            const Random::Footprint f = unit.footprint();
            r.n1x[i] = i % 7 == 3 ? kMissingPosition : f.n1x, r.n1y[i] = f.n1y, r.n2x[i] = f.n2x, r.n2y[i] = f.n2y;
            r.px[i] = f.px, r.py[i] = f.py, r.sx[i] = f.sx, r.sy[i] = f.sy;
        }
    }
    auto sampleAll = [&](SimdLevel simd, bool together, LodSlot* slot) {
        image.b.simd = simd;
        std::vector<std::array<float, 4>> out(kGroups * kMaxSampleLanes);
        for (int32_t g = 0; g < kGroups; g++) {
            const SampleLanes& r = groups[static_cast<size_t>(g)];
            float (*samples)[4] = reinterpret_cast<float(*)[4]>(out[static_cast<size_t>(g * kMaxSampleLanes)].data());
            int32_t count = g == kGroups - 1 ? 5 : kMaxSampleLanes;
            if (together) sampleFilteredLanes(&r, count, &image.b, 0.3f, slot, samples);
            for (int32_t i = 0; i < count && !together; i++)
                sampleFiltered(r.n1x[i], r.n1y[i], r.n2x[i], r.n2y[i], r.px[i], r.py[i], r.sx[i], r.sy[i], &image.b,
                               samples[i], 0.3f, slot);
        }
        return out;
    };
    LodSlot oneSlot = {0.0f, 0, 0};
    const auto one = sampleAll(SimdLevel::Portable, false, &oneSlot);
    for (int32_t level = 1; level <= static_cast<int32_t>(processorSimdLevel()); level++) {
        LodSlot slot = {0.0f, 0, 0};
        const auto together = sampleAll(static_cast<SimdLevel>(level), true, &slot);
        for (size_t i = 0; i < one.size(); i++) ASSERT_EQ(together[i], one[i]) << simdLevelName(static_cast<SimdLevel>(level)) << ", sample " << i;
        EXPECT_EQ(slot.cachedLod, oneSlot.cachedLod);
    }
}

// A digest of the weight table, then of a sweep of filtered samples with random footprints
// over a random image of each four-channel format. Every bit counts.
void samplingDigest(int32_t samplesPerImage, uint64_t digest[4]) {
    uint64_t hash = 1469598103934665603ull;  // 64-bit FNV-1a
    auto mix = [&](const void* data, size_t bytes) {
        for (size_t i = 0; i < bytes; i++) hash = (hash ^ static_cast<const uint8_t*>(data)[i]) * 1099511628211ull;
    };
    Random unit;
    mix(sharedWeightTable(), offsetof(WeightTable, byOffset));  // the three forms; the rest repeats them
    digest[0] = hash;
    const ImageMode modes[3] = {ImageMode::Rgba8, ImageMode::Rgba16, ImageMode::RgbaFloat};
    for (int m = 0; m < 3; m++) {
        TestImage image(300, 200, modes[m]);
        unit.fill(image);
        for (int32_t i = 0; i < samplesPerImage; i++) {
            const Random::Footprint f = unit.footprint();
            LodSlot slot = {0.0f, 0, 0};
            float out[4];
            sampleFiltered(f.n1x, f.n1y, f.n2x, f.n2y, f.px, f.py, f.sx, f.sy, &image.b, out, 0.3f, &slot);
            mix(out, sizeof out);
            mix(&slot.cachedLod, sizeof slot.cachedLod);
        }
        digest[m + 1] = hash;
    }
}

// The level of detail's logarithm gives the C library's bits: radii spread over 0.5 .. 2048,
// where it is computed (bench/log_check.cpp checks every float there), and beyond, where the
// library is asked.
TEST(TextureSampler, LevelOfDetailTakesTheLibrarysLogarithm) {
    for (uint32_t bits = std::bit_cast<uint32_t>(0.25f); bits < std::bit_cast<uint32_t>(4096.0f); bits += 997) {
        float radius = std::bit_cast<float>(bits);
        float library = static_cast<float>(static_cast<double>(logFloat(radius)) * kLog2OfE);
        ASSERT_EQ(std::bit_cast<uint32_t>(lodOfRadius(radius)), std::bit_cast<uint32_t>(library)) << radius;
    }
}

TEST(TextureSampler, SameBitsOnEveryBuild) {
    // Recorded from the native build and from the Windows build run under wine; optimised,
    // unoptimised and sanitized builds agree. A change here changes rendered pixels.
    uint64_t digest[4];
    samplingDigest(20000, digest);
    EXPECT_EQ(digest[0], 0xdcdb875ff841abeeull);  // the weight table
    EXPECT_EQ(digest[1], 0x2d49c9299f0338dbull);
    EXPECT_EQ(digest[2], 0x299f3d020b0a6ce5ull);
    EXPECT_EQ(digest[3], 0x1e9d4aa0478aadb8ull);
}

}  // namespace
