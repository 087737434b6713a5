// Row blocks: output rows rendered ahead of the host, several lanes at once. A block of rows is
// cut into strips, one per lane, that render side by side through the work queue; each lane
// writes its rows into the block's buffer in the host's sample layout, from where the run
// hands them to the host one by one.
//
// The result is the same bits as rendering every row from the top with one lane. What a strip
// inherits from the rows above it comes two ways: the history of its corner lines each lane
// restores for itself (see renderRow), and the sampler's level of detail, which runs from sample
// to sample, the block settles afterwards, strip by strip from the top. Every strip but the
// first starts from an unknown level; one that read it before writing a level of its own (which
// only the few sub-samples with no neighbour on their side of the rim do) is rendered again up
// to the row of its first write, from the level the strips above it left.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/work_queue.h"
#include "platform/workers.h"
#include "warp/output_pixel.h"
#include "warp/renderer.h"

constexpr int32_t kRowsPerStrip = 32;  // a strip's rows in a run: a few strips a block, few settled again

// How one strip went: the rows it rendered and what its level-of-detail slot saw.
struct StripOutcome {
    int32_t firstRow, lastRow;
    int32_t firstWriteRow;      // the row in which the strip first wrote the level, -1 if never
    float lastLod;              // the level the strip left
    uint8_t readBeforeWritten;  // the strip took the level it started from
};

struct RowBlock {
    RenderLane* lanes;          // one per strip of a block
    int32_t laneCount;
    WorkQueue* queue;           // a job per strip; its capacity is at least laneCount
    uint8_t* rows;              // the block's output rows, rowBytes apart
    size_t rowBytes;
    int32_t rowsPerStrip;       // the most rows a strip takes
    int32_t capacity;           // rows the buffer holds: laneCount strips of rowsPerStrip
    int32_t passHeight;         // rows of the pass
    OutputRow output;           // the format and width of an output row; its destination varies
    int32_t first;              // rows first .. first + count - 1 are in the buffer
    int32_t count;
    float carriedLod;           // the level of detail the rows before the block leave
    int32_t stripCount;         // strips of the last block
    StripOutcome strips[kMaxThreads];
};

// Renders rows first .. first + capacity - 1 (fewer at the end of the pass) into the buffer,
// with every lane set up for the pass.
void renderRowBlock(RowBlock* block, int32_t first);

// Row `row` of the buffer, which must hold it.
const uint8_t* rowOfBlock(const RowBlock* block, int32_t row);
