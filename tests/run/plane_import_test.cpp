// Plane import where whole runs do not reach: the source format of a host whose depth and mode
// disagree, a flat image's extra plane, and deliveries that lack what a tile needs.
#include <gtest/gtest.h>

#include <vector>

#include "run/document_format.h"
#include "run/plane_import.h"
#include "support/test_image.h"

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
        DocumentFormat format = documentFormat(&record);
        createImageBuffer(&source, 2, 2, format.sourceImageMode);
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

}  // namespace

// Documents whose depth and mode agree are whole filter runs' part; a host that disagrees with
// itself gets float for depth 32 whatever the mode, 16 bits only with a 16-bit mode, float from
// a float mode without a depth, and 8 bits otherwise.
TEST(PlaneImport, TheSourceFormatFollowsTheDepthBeforeTheMode) {
    const struct {
        int16_t imageMode;
        int32_t depth;
        ImageMode want;
    } cases[] = {{kModeGray16, 8, ImageMode::Rgba8}, {kModeGray32, 0, ImageMode::RgbaFloat}, {kModeRGB48, 32, ImageMode::RgbaFloat}};
    for (const auto& c : cases) {
        FilterRecord record{};
        record.imageMode = c.imageMode;
        record.depth = c.depth;
        EXPECT_EQ(documentFormat(&record).sourceImageMode, c.want) << c.imageMode << "/" << c.depth;
    }
}

// How each format's samples land is held by whole filter runs on every kind of document; a flat
// image's transparency plane, which no such document has, is not read: the pixel is opaque.
TEST(PlaneImport, AFlatImagesTransparencyPlaneIsNotRead) {
    Conversion c(kModeGray16, 16, kFilterCaseFlatImageNoSelection, 2, 1);
    c.run<uint16_t>({5000, 7});
    EXPECT_EQ(c.pixel(), (std::vector<uint32_t>{5000, 5000, 5000, 32768}));
}

TEST(PlaneImport, ADeliveryThatLacksWhatTheTileNeedsLeavesItAsItWas) {
    // A transparency plane the delivery does not have, and rows too short for the tile.
    Conversion noPlane(kModeRGBColor, 8, kFilterCaseEditableTransparencyNoSelection, 3, 3);
    noPlane.run<uint8_t>({1, 2, 3});
    EXPECT_EQ(noPlane.pixel(), (std::vector<uint32_t>{0, 0, 0, 0}));
    Conversion shortRows(kModeGrayScale, 8, kFilterCaseFlatImageNoSelection, 1, 0);
    shortRows.record.inRowBytes = 1;
    shortRows.run<uint8_t>({9});
    EXPECT_EQ(shortRows.pixel(), (std::vector<uint32_t>{0, 0, 0, 0}));
}
