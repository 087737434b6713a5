// Tests of the resampling kernels: the fast one-tile path and the clamped path of every source
// format against a reference built on clamped pixel reads. The weight table is pinned by the
// sampling digest; the level-pair read's clamping and blending show in the texture sampler's
// levels of detail.
#include "sampling/kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/test_image.h"

namespace {

// Kernel positions that cover the edges, the tile seam at 512 and every kind of phase.
std::vector<float> probePositions(int32_t size) {
    std::vector<float> positions = {-0.5f, -0.2f, 0.0f, 0.49f, 1.5f, 2.25f, size - 1.5f,
                                    size - 0.5f, size + 3.0f};
    for (float base = 505.0f; base < 515.0f && base < size; base += 1.0f) {
        for (float phase : {0.0f, 0.25f, 0.5f, 0.99f}) positions.push_back(base - 0.5f + phase);
    }
    return positions;
}

// Channel ch of a kernel read of level 0, written out directly on clamped single-pixel reads:
// integer row sums (divided by 32768 for 16-bit data) or float ones, offset -2 first.
float referenceRead(const ImageBuffer& b, float u, float v, int ch) {
    const WeightTable& t = *b.weightTable;
    float a = static_cast<float>(u + 0.5), c = static_cast<float>(v + 0.5);
    int bx = static_cast<int>(a), by = static_cast<int>(c);
    int px = static_cast<int>((a - bx) * 128), py = static_cast<int>((c - by) * 128);
    bool is16 = b.imageMode == ImageMode::Rgba16;
    auto w = [&](int offset, int phase) {
        return is16 ? t.weights32768[2 - offset][phase] : t.weights2048[2 - offset][phase];
    };
    int32_t total = 0;
    float totalFloat = 0.0f;
    for (int dy = -2; dy <= 2; dy++) {
        int32_t row = 0;
        float rowFloat = 0.0f;
        for (int dx = -2; dx <= 2; dx++) {
            uint32_t s[4] = {};
            getPixel4(bx + dx, by + dy, &b, 0, &s[0], &s[1], &s[2], &s[3]);
            if (b.imageMode == ImageMode::RgbaFloat) {
                rowFloat += t.weights[2 - dx][px] * std::bit_cast<float>(s[ch]);
            } else {
                row += w(dx, px) * static_cast<int32_t>(s[ch]);
            }
        }
        total += w(dy, py) * (is16 ? row / 32768 : row);
        totalFloat += t.weights[2 - dy][py] * rowFloat;
    }
    if (b.imageMode == ImageMode::RgbaFloat) return totalFloat;
    return static_cast<float>(total) * (is16 ? 3.0517578e-5f : 2.3841858e-7f);
}

TEST(Kernels, OneTilePathAndClampedPathAgreeWithClampedReference) {
    std::mt19937 random(7);
    for (ImageMode mode : {ImageMode::Rgba8, ImageMode::Rgba16, ImageMode::RgbaFloat}) {
        // Three tile columns, two tile rows. Half the 16-bit samples are 0, so that about one row
        // sum in five is negative and its truncation toward zero is put to the test.
        TestImage image(1030, 530, mode);
        for (int32_t y = 0; y < 530; y++) {
            for (int32_t x = 0; x < 1030; x++) {
                uint32_t c[4];
                for (uint32_t& s : c) {
                    s = mode == ImageMode::Rgba8    ? random() % 256
                        : mode == ImageMode::Rgba16 ? (random() % 2 ? random() % 32769 : 0)
                                               : std::bit_cast<uint32_t>(random() / 4e9f);
                }
                setPixel(x, y, &image.b, 0, c[0], c[1], c[2], c[3]);
            }
        }
        for (float u : probePositions(1030)) {
            for (float v : probePositions(530)) {
                float out[4];
                if (mode == ImageMode::Rgba8) filterRgba8(&image.b, 0, u, v, out);
                if (mode == ImageMode::Rgba16) filterRgba16(&image.b, 0, u, v, out);
                if (mode == ImageMode::RgbaFloat) filterRgbaFloat(&image.b, 0, u, v, out);
                for (int ch = 0; ch < 4; ch++) {
                    ASSERT_EQ(out[ch], referenceRead(image.b, u, v, ch))
                        << static_cast<int>(mode) << " at " << u << ", " << v << " channel " << ch;
                }
            }
        }
    }
}

}  // namespace
