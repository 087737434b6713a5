// Plane import: the source format decided for each kind of document, and the conversion of the
// host's interleaved planes into source pixels for every format, with and without transparency.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "run/document_format.h"
#include "run/plane_import.h"

namespace {

// A 2 x 2 source tile filled from host rows of `rowBytes` bytes that hold the same pixel
// `samples` twice per row (the rest of each row is padding the conversion must step over).
struct Conversion {
    FilterRecord record{};
    ImageBuffer source{};

    Conversion(int16_t imageMode, int32_t depth, int16_t filterCase, int16_t planes, int16_t layerPlanes) {
        record.imageMode = imageMode;
        record.depth = depth;
        record.filterCase = filterCase;
        record.planes = planes;
        record.inLoPlane = 0;
        record.inHiPlane = static_cast<int16_t>(planes - 1);
        record.inLayerPlanes = layerPlanes;
        resetImageBuffer(&source, nullptr, nullptr);
    }
    ~Conversion() { freeImageBuffer(&source); }

    template <typename Sample>
    void run(std::vector<Sample> samples) {
        DocumentFormat format = documentFormat(&record, false);
        createImageBuffer(&source, 2, 2, format.sourceImageMode, kWrapClamp, false);
        std::vector<Sample> host;
        for (int row = 0; row < 2; row++) {
            for (int pixel = 0; pixel < 2; pixel++) host.insert(host.end(), samples.begin(), samples.end());
            host.insert(host.end(), 3, Sample{});  // padding at the end of the row
        }
        record.inData = host.data();
        if (record.inRowBytes == 0) record.inRowBytes = static_cast<int32_t>(host.size() / 2 * sizeof(Sample));
        convertTile(&source, &format, &record, 0);
    }

    // Channels of pixel (1, 1), as stored.
    std::vector<uint32_t> pixel() {
        uint32_t c[4] = {};
        getPixel4(1, 1, &source, 0, &c[0], &c[1], &c[2], &c[3]);
        return {c[0], c[1], c[2], c[3]};
    }
};

uint32_t bits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

}  // namespace

TEST(PlaneImport, TheSourceFormatFollowsTheDocumentsDepth) {
    const struct {
        int16_t imageMode;
        int32_t depth;
        uint32_t want;
    } cases[] = {{kModeGrayScale, 8, kImageRgba8}, {kModeRGBColor, 8, kImageRgba8},   {kModeGray16, 16, kImageRgba16},
                 {kModeRGB48, 16, kImageRgba16},   {kModeGray16, 8, kImageRgba8},     {kModeRGB96, 32, kImageRgbaFloat},
                 {kModeGray32, 0, kImageRgbaFloat}, {kModeRGB48, 32, kImageRgbaFloat}};
    for (const auto& c : cases) {
        FilterRecord record{};
        record.imageMode = c.imageMode;
        record.depth = c.depth;
        EXPECT_EQ(documentFormat(&record, false).sourceImageMode, c.want) << c.imageMode << "/" << c.depth;
    }
}

TEST(PlaneImport, EveryFormatCopiesItsSamplesUnchanged) {
    using Pixel = std::vector<uint32_t>;
    {  // 8-bit RGB layer with a selection: the word's bytes are red, green, blue, alpha.
        Conversion c(kModeRGBColor, 8, kFilterCaseEditableTransparencyWithSelection, 4, 3);
        c.run<uint8_t>({10, 20, 30, 40});
        EXPECT_EQ(getPixel32(1, 1, &c.source, 0), 0x0A141E28u);
    }
    {  // 8-bit gray background: gray in every colour byte, opaque.
        Conversion c(kModeGrayScale, 8, kFilterCaseFlatImageNoSelection, 1, 0);
        c.run<uint8_t>({200});
        EXPECT_EQ(getPixel32(1, 1, &c.source, 0), 0xC8C8C8FFu);
    }
    {  // 16-bit RGB without transparency: opaque is 32768.
        Conversion c(kModeRGB48, 16, kFilterCaseFlatImageWithSelection, 3, 0);
        c.run<uint16_t>({100, 20000, 32768});
        EXPECT_EQ(c.pixel(), (Pixel{100, 20000, 32768, 32768}));
    }
    {  // A transparency plane on a flat image is not read.
        Conversion c(kModeGray16, 16, kFilterCaseFlatImageNoSelection, 2, 1);
        c.run<uint16_t>({5000, 7});
        EXPECT_EQ(c.pixel(), (Pixel{5000, 5000, 5000, 32768}));
    }
    {  // 32-bit gray layer: the gray value three times, alpha from the transparency plane.
        Conversion c(kModeGray32, 32, kFilterCaseEditableTransparencyNoSelection, 2, 1);
        c.run<float>({1.5f, 0.25f});
        EXPECT_EQ(c.pixel(), (Pixel{bits(1.5f), bits(1.5f), bits(1.5f), bits(0.25f)}));
    }
    {  // 32-bit gray without transparency: alpha 1.0.
        Conversion c(kModeGray32, 32, kFilterCaseFlatImageNoSelection, 1, 0);
        c.run<float>({-0.5f});
        EXPECT_EQ(c.pixel(), (Pixel{bits(-0.5f), bits(-0.5f), bits(-0.5f), bits(1.0f)}));
    }
}

TEST(PlaneImport, ADeliveryThatLacksWhatTheTileNeedsLeavesItAsItWas) {
    // A transparency plane the delivery does not have, and rows too short for the tile.
    Conversion noPlane(kModeRGBColor, 8, kFilterCaseEditableTransparencyNoSelection, 3, 3);
    noPlane.run<uint8_t>({1, 2, 3});
    EXPECT_EQ(getPixel32(1, 1, &noPlane.source, 0), 0u);
    Conversion shortRows(kModeGrayScale, 8, kFilterCaseFlatImageNoSelection, 1, 0);
    shortRows.record.inRowBytes = 1;
    shortRows.run<uint8_t>({9});
    EXPECT_EQ(getPixel32(1, 1, &shortRows.source, 0), 0u);
}
