// Row blocks: strips of rows rendered by their lanes through the work queue, then the level of
// detail settled from the top strip down.
#include "warp/row_block.h"

#include <algorithm>
#include <limits>

#include "platform/check.h"

namespace {

// Renders rows first .. last with one lane into the block's buffer.
void renderRows(RowBlock* block, RenderLane* lane, int32_t first, int32_t last, StripOutcome* outcome) {
    for (int32_t row = first; row <= last; row++) {
        OutputRow output = block->output;
        output.destination = block->rows + static_cast<size_t>(row - block->first) * block->rowBytes;
        renderRow(lane, row, &output);
        if (outcome && outcome->firstWriteRow < 0 && lane->lod.written) outcome->firstWriteRow = row;
    }
}

// The level a strip below the first starts from: none that a footprint gives.
constexpr float kUnknownLod = std::numeric_limits<float>::quiet_NaN();

// A strip, from the level of detail carried into the block for the first strip, from an unknown
// one for the others.
void renderStripJob(const JobRecord* job) {
    RowBlock* block = static_cast<RowBlock*>(job->context);
    RenderLane* lane = &block->lanes[job->jobIndex];
    StripOutcome* outcome = &block->strips[job->jobIndex];
    *outcome = {job->stripFirst, job->stripLast, -1, 0.0f, 0};
    lane->lod.cachedLod = job->jobIndex == 0 ? block->carriedLod : kUnknownLod;
    lane->lod.written = 0;
    lane->lod.readBeforeWritten = 0;
    renderRows(block, lane, job->stripFirst, job->stripLast, outcome);
    outcome->lastLod = lane->lod.cachedLod;
    outcome->readBeforeWritten = lane->lod.readBeforeWritten;
}

}  // namespace

void renderRowBlock(RowBlock* block, int32_t first) {
    VELORUND_CHECK(first >= 0 && first < block->passHeight && block->queue->capacity >= block->laneCount);
    block->first = first;
    block->count = std::min(block->capacity, block->passHeight - first);

    // Strips of at most kRowsPerStrip rows, one per lane, side by side.
    int32_t strips = std::min(block->laneCount, (block->count + block->rowsPerStrip - 1) / block->rowsPerStrip);
    WorkQueue queue = *block->queue;
    queue.capacity = strips;
    enqueueRangeJobs(&queue, first, first + block->count - 1, renderStripJob, block);
    runJobs(&queue);
    block->stripCount = queue.count;

    // From the top: what each strip really inherited, and the strips that read the unknown level
    // rendered again up to their first write (from there on nothing depends on it).
    float carried = block->carriedLod;
    for (int32_t i = 0; i < block->stripCount; i++) {
        StripOutcome& s = block->strips[i];
        if (i > 0 && s.readBeforeWritten) {
            RenderLane* lane = &block->lanes[i];
            lane->nextRow = -1;
            lane->lod.cachedLod = carried;
            renderRows(block, lane, s.firstRow, s.firstWriteRow >= 0 ? s.firstWriteRow : s.lastRow, nullptr);
            if (s.firstWriteRow < 0) s.lastLod = carried;
        }
        carried = s.firstWriteRow >= 0 ? s.lastLod : carried;
    }
    block->carriedLod = carried;
}

const uint8_t* rowOfBlock(const RowBlock* block, int32_t row) {
    VELORUND_CHECK(row >= block->first && row < block->first + block->count);
    return block->rows + static_cast<size_t>(row - block->first) * block->rowBytes;
}
