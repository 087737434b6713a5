// Tests of the output pixel conversion per document format, with the format a run decides for
// the host's document: scaling, the alpha lift, the spill of over-bright colour, gray weights
// and where the transparency sample goes.
#include "warp/output_pixel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "run/document_format.h"

namespace {

// Pixel 1 of a two-pixel output row of a document, the row poisoned before each write.
struct Output {
    FilterRecord record{};
    std::vector<uint8_t> row = std::vector<uint8_t>(64, 0xEE);

    Output(int16_t imageMode, int32_t depth, int16_t planes, int16_t filterCase) {
        record.imageMode = imageMode;
        record.depth = depth;
        record.planes = planes;
        record.outLayerPlanes = static_cast<int16_t>(planes - 1);
        record.filterCase = filterCase;
    }

    template <typename T>
    std::vector<T> write(float r, float g, float b, float a) {
        std::fill(row.begin(), row.end(), 0xEE);
        float colour[4] = {r, g, b, a};
        OutputRow out = {row.data(), 2, documentFormat(&record).output};
        writeOutputPixel(&out, 1, colour);
        std::vector<T> samples(record.planes);
        memcpy(samples.data(), row.data() + sizeof(T) * record.planes, sizeof(T) * record.planes);
        return samples;
    }
};

constexpr int16_t kLayer = kFilterCaseEditableTransparencyNoSelection;
constexpr int16_t kFlat = kFilterCaseFlatImageNoSelection;

TEST(OutputPixel, EightBitScalesLiftsAlphaAndSpillsExcess) {
    Output rgba(kModeRGBColor, 8, 4, kLayer);
    EXPECT_EQ(rgba.write<uint8_t>(1.0f, 0.5f, 0.0f, 0.995f), (std::vector<uint8_t>{255, 127, 0, 255}));
    EXPECT_EQ(rgba.write<uint8_t>(0.0f, 0.0f, 0.0f, 0.5f)[3], 128);
    EXPECT_EQ(rgba.write<uint8_t>(-0.2f, 0.0f, 0.0f, -1.0f), (std::vector<uint8_t>{0, 0, 0, 0}));

    // Every set of channels over full intensity. 1.2 is 51 over: 11 of it spills, 5 to each of
    // the others when one channel is over; two over by 102 spill 23, all to the third.
    const struct {
        float r, g, b;
        std::vector<uint8_t> expected;
    } spills[] = {
        {1.2f, 0.2f, 0.6f, {255, 56, 158, 255}},   {0.2f, 1.2f, 0.6f, {56, 255, 158, 255}},
        {0.2f, 0.6f, 1.2f, {56, 158, 255, 255}},   {1.2f, 1.2f, 0.0f, {255, 255, 23, 255}},
        {1.2f, 0.0f, 1.2f, {255, 23, 255, 255}},   {0.0f, 1.2f, 1.2f, {23, 255, 255, 255}},
        {1.2f, 1.2f, 1.2f, {255, 255, 255, 255}},
        // One over: what then overflows the first of the others goes to the second, and back.
        {1.4f, 0.98f, 0.1f, {255, 255, 41, 255}},  {1.4f, 0.1f, 0.98f, {255, 41, 255, 255}},
        {0.9f, 8.0f, 0.9f, {255, 255, 255, 255}},
    };
    for (const auto& s : spills) {
        EXPECT_EQ(rgba.write<uint8_t>(s.r, s.g, s.b, 1.0f), s.expected) << s.r << ", " << s.g << ", " << s.b;
    }
}

TEST(OutputPixel, GrayWeightsChannelsAndSixteenBitUsesItsHalfScale) {
    Output gray8(kModeGrayScale, 8, 2, kLayer);
    EXPECT_EQ(gray8.write<uint8_t>(1.0f, 1.0f, 1.0f, 1.0f), (std::vector<uint8_t>{254, 255}));

    Output gray16(kModeGray16, 16, 1, kFlat);
    EXPECT_EQ(gray16.write<uint16_t>(1.0f, 1.0f, 1.0f, 1.0f), (std::vector<uint16_t>{32640}));

    Output rgb16(kModeRGB48, 16, 4, kLayer);
    EXPECT_EQ(rgb16.write<uint16_t>(1.0f, 0.5f, 0.0f, 0.5f),
              (std::vector<uint16_t>{32768, 16384, 0, 16498}));
}

TEST(OutputPixel, FloatSamplesPassThroughWithAlphaLimited) {
    Output gray32(kModeGray32, 32, 2, kLayer);
    EXPECT_EQ(gray32.write<float>(1.0f, 1.0f, 1.0f, 1.5f), (std::vector<float>{1.0f, 1.0f}));
    EXPECT_GT(gray32.write<float>(2.0f, 2.0f, 2.0f, 1.0f)[0], 1.99f);

    Output rgb32(kModeRGB96, 32, 4, kLayer);
    EXPECT_EQ(rgb32.write<float>(1.5f, 0.25f, -0.5f, -0.1f), (std::vector<float>{1.5f, 0.25f, -0.5f, 0.0f}));
}

TEST(OutputPixel, TransparencyIsWrittenOnlyForEditableTransparency) {
    for (int16_t filterCase : {1, 2, 3, 4, 5, 6, 7}) {
        Output doc(kModeRGBColor, 8, 4, filterCase);
        bool editable = filterCase == 4 || filterCase == 5;
        std::vector<uint8_t> p = doc.write<uint8_t>(0.0f, 0.0f, 0.0f, 0.0f);
        EXPECT_EQ(p[0], 0);
        EXPECT_EQ(p[3], editable ? 0 : 0xEE) << filterCase;
    }

    // A flat RGB row has no transparency sample to write: the next pixel stays untouched.
    Output flat(kModeRGBColor, 8, 3, kFlat);
    flat.write<uint8_t>(0.0f, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(flat.row[3], 0);
    EXPECT_EQ(flat.row[6], 0xEE);

    // Modes without a sample format write nothing.
    Output cmyk(kModeCMYKColor, 8, 4, kLayer);
    EXPECT_EQ(cmyk.write<uint8_t>(1.0f, 1.0f, 1.0f, 1.0f)[0], 0xEE);
}

}  // namespace
