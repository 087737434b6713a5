// A filter run's renderer state without the host: globals with one job slot and the column
// records, a FilterRecord whose output row the test owns, a source image with its pyramid and
// an unbuilt MapGrid, set up the way a run's Start leaves them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/parameters.h"
#include "image/pyramid.h"
#include "image/work_queue.h"
#include "../sampling/test_images.h"
#include "warp/renderer.h"

struct RenderFixture {
    PluginGlobals globals{};
    FilterRecord record{};
    FilterParameters parameters{};
    char* parametersMaster = reinterpret_cast<char*>(&parameters);
    int16_t result = 0;
    JobRecord job{};
    std::vector<ColumnRecord> columns;
    std::vector<uint8_t> row;    // the host's output row
    std::vector<uint8_t> image;  // every finished row, one after another
    uint8_t inputRow[4] = {};
    int32_t width, height;

    // A width x height source in `sourceMode`, written out as an 8-bit RGB document with
    // editable transparency unless the test changes the record.
    RenderFixture(int32_t w, int32_t h, uint32_t sourceMode) : width(w), height(h) {
        globals.result = &result;
        globals.filterRecord = &record;
        globals.jobs = &job;
        record.parameters = &parametersMaster;
        parameters.areaScale = 1;
        record.inData = inputRow;
        setDocument(kModeRGBColor, 8, 4, kFilterCaseEditableTransparencyNoSelection);

        resetImageBuffer(&globals.sourceImage, &globals, nullptr, sharedWeightTable());
        resetImageBuffer(&globals.mapGrid, &globals, nullptr, sharedWeightTable());
        createImageBuffer(&globals.sourceImage, w, h, sourceMode, kWrapClamp, false);
        createImageBuffer(&globals.mapGrid, 50, 50, kImageRgbaFloat, kWrapClamp, false);
        globals.workWidth = globals.filterWidth = w;
        globals.workHeight = globals.filterHeight = h;

        // Both corner-line slots start outside the disc at the missing position.
        columns.resize(static_cast<size_t>(w) + 4);
        for (ColumnRecord& c : columns) {
            for (MapResult& slot : c.mapSlot) slot = {kMapOutsideDisc, 0, -1.0f, -1.0f};
        }
        globals.rowRecords = columns.data();
    }
    ~RenderFixture() {
        freeImageBuffer(&globals.sourceImage);
        freeImageBuffer(&globals.mapGrid);
    }
    RenderFixture(const RenderFixture&) = delete;
    RenderFixture& operator=(const RenderFixture&) = delete;

    void setDocument(int16_t imageMode, int32_t depth, int16_t planes, int16_t filterCase) {
        record.imageMode = imageMode;
        record.depth = depth;
        record.planes = planes;
        record.outLayerPlanes = static_cast<int16_t>(planes == 2 || planes == 4 ? planes - 1 : planes);
        record.filterCase = filterCase;
        row.assign(static_cast<size_t>(width) * planes * (depth / 8), 0xEE);
        record.outData = row.data();
    }

    // Sets every level-0 pixel from value(x, y, channel) and builds the pyramid.
    template <typename Value>
    void fillSource(Value value) {
        for (int32_t y = 0; y < height; y++) {
            for (int32_t x = 0; x < width; x++) {
                setPixel(x, y, &globals.sourceImage, 0, value(x, y, 0), value(x, y, 1),
                         value(x, y, 2), value(x, y, 3));
            }
        }
        buildPyramid(&globals.sourceImage);
    }

    void renderRowAt(int32_t y) {
        globals.renderingRow = y;
        renderRow(&globals);
        image.insert(image.end(), row.begin(), row.end());
    }
    void renderAll() {
        for (int32_t y = 0; y < height; y++) renderRowAt(y);
    }
    const uint8_t* pixel(int32_t x, int32_t y) const {
        size_t rowBytes = row.size();
        return image.data() + rowBytes * y + rowBytes / width * x;
    }
};
