// A render lane without the host: a source image with its pyramid, the built map grid, column
// records, and the rows written out as an 8-bit RGB layer, set up the way a run's Start leaves
// them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "support/test_image.h"
#include "warp/renderer.h"

struct RenderFixture {
    TestImage sourceImage;
    ImageBuffer& source = sourceImage.b;
    std::unique_ptr<MapGrid> grid = std::make_unique<MapGrid>();
    std::vector<ColumnRecord> columns;
    RenderLane lane{};
    OutputFormat format = {OutputSample::Int8, 255, 255.0f, 255, 4, 3, false, 3};
    std::vector<uint8_t> row;    // the output row
    std::vector<uint8_t> image;  // every finished row, one after another
    int32_t width, height;
    int32_t lastRow = -1;

    RenderFixture(int32_t w, int32_t h, ImageMode sourceMode) : sourceImage(w, h, sourceMode), width(w), height(h) {
        buildMapGrid(grid.get());
        columns.resize(static_cast<size_t>(w) + 4);
        setupRenderLane(&lane, &source, frame(), columns.data(), w);
        row.assign(static_cast<size_t>(w) * 4, 0xEE);
    }

    MapFrame frame() const { return mapFrameOf(grid.get(), width, height); }

    // Sets every level-0 pixel from value(x, y, channel) and builds the pyramid.
    template <typename Value>
    void fillSource(Value value) {
        for (int32_t y = 0; y < height; y++) {
            for (int32_t x = 0; x < width; x++) {
                setPixel(x, y, &source, 0, value(x, y, 0), value(x, y, 1), value(x, y, 2), value(x, y, 3));
            }
        }
        sourceImage.reduce();
    }

    void renderRowAt(int32_t y) {
        OutputRow out = {row.data(), width, format};
        renderRow(&lane, y, &out);
        image.insert(image.end(), row.begin(), row.end());
        lastRow = y;
    }
    const uint8_t* pixel(int32_t x, int32_t y) const { return image.data() + (static_cast<size_t>(y) * width + x) * 4; }
};
