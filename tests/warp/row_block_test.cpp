// Row blocks: rows rendered in strips on several lanes and threads give the bits of rendering
// every row from the top with one lane, for any strip length and lane count, on shapes whose
// strips start at the rim and at the tips of a thin ellipse, where a strip takes the level of
// detail before it computes one.
#include "warp/row_block.h"

#include <gtest/gtest.h>

#include <vector>

#include "render_fixture.h"

namespace {

struct Blocks {
    std::vector<uint8_t> image;
    int32_t guessesTaken = 0;  // strips that read the level of detail they started from
};

Blocks renderInBlocks(RenderFixture& f, int32_t laneCount, int32_t rowsPerStrip, Workers* workers) {
    const int32_t recordsPerLane = f.width + 4;
    std::vector<ColumnRecord> columns(static_cast<size_t>(recordsPerLane) * laneCount);
    std::vector<RenderLane> lanes(laneCount);
    for (int32_t i = 0; i < laneCount; i++) {
        setupRenderLane(&lanes[i], &f.source, f.frame(), columns.data() + i * recordsPerLane, f.width);
    }
    std::vector<JobRecord> jobs(laneCount);
    WorkQueue queue = {jobs.data(), 0, laneCount, workers};
    RowBlock block = {};
    block.lanes = lanes.data();
    block.laneCount = laneCount;
    block.queue = &queue;
    block.rowBytes = static_cast<size_t>(f.width) * 4;
    block.rowsPerStrip = rowsPerStrip;
    block.capacity = std::min(f.height, laneCount * rowsPerStrip);
    std::vector<uint8_t> rows(block.rowBytes * block.capacity);
    block.rows = rows.data();
    block.passHeight = f.height;
    block.output = {nullptr, f.width, f.format};

    block.carriedLod = f.lane.lod.cachedLod;
    Blocks result;
    for (int32_t first = 0; first < f.height; first += block.count) {
        renderRowBlock(&block, first);
        for (int32_t s = 1; s < block.stripCount; s++) result.guessesTaken += block.strips[s].readBeforeWritten;
        result.image.insert(result.image.end(), rows.begin(), rows.begin() + block.rowBytes * block.count);
    }
    return result;
}

TEST(RowBlock, StripsOnThreadsGiveTheBitsOfOneLaneFromTheTop) {
    Workers workers = {};
    ASSERT_GE(startWorkers(&workers, 4), 1);
    const int32_t shapes[][2] = {{64, 64}, {37, 53}, {1, 150}, {2, 97}, {150, 2}};
    int32_t guesses = 0;
    for (const auto& shape : shapes) {
        // The pass starts from a coarse level of detail, so a strip that took the level of the
        // wrong strip above it would show.
        RenderFixture reference(shape[0], shape[1], ImageMode::Rgba8);
        reference.lane.lod.cachedLod = 5.0f;
        auto pattern = [](int32_t x, int32_t y, int32_t c) -> uint32_t {
            return c == 3 ? 255 - (x + y) % 60 : static_cast<uint32_t>((x * 37 + y * 11 + c * 91) % 256);
        };
        reference.fillSource(pattern);
        for (int32_t y = 0; y < shape[1]; y++) reference.renderRowAt(y);

        for (int32_t lanes : {1, 2, 3, 8}) {
            for (int32_t rowsPerStrip : {1, 3, 32}) {
                RenderFixture f(shape[0], shape[1], ImageMode::Rgba8);
                f.lane.lod.cachedLod = 5.0f;
                f.fillSource(pattern);
                Blocks blocks = renderInBlocks(f, lanes, rowsPerStrip, &workers);
                guesses += blocks.guessesTaken;
                ASSERT_EQ(blocks.image, reference.image)
                    << shape[0] << " x " << shape[1] << ", " << lanes << " lanes, strips of " << rowsPerStrip;
            }
        }
    }
    stopWorkers(&workers);
    EXPECT_GT(guesses, 0);  // some strips did start on a guessed level of detail
}

}  // namespace
