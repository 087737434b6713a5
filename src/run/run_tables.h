// RunTables: the working block a run obtains at Start, zero-filled whatever the host's memory
// held. It carries the throttles that thin out progress reports and cancel polls, the resampling
// weight table that the run's source image reads, the render lanes, and the worker threads that
// share the run's jobs. Working memory stays where it is for the whole run, which the workers'
// synchronisation needs.
#pragma once

#include <cstdint>

#include "platform/workers.h"
#include "sampling/weight_table.h"
#include "warp/renderer.h"

constexpr int32_t kRunTablesBytes = 23024;

struct RunTables {
    int32_t cancelPollCounter;  // only its value modulo 32 matters
    int32_t progressCounter;    // likewise
    int32_t lastProgress;       // the done value of the last report
    uint8_t padding12[4];
    WeightTable weightTable;
    Workers workers;            // started for the length of a Start or Continue call
    RenderLane lanes[kMaxThreads];
    uint8_t spare[kRunTablesBytes - 16 - sizeof(WeightTable) - sizeof(Workers) - kMaxThreads * sizeof(RenderLane)];
};
static_assert(sizeof(RunTables) == kRunTablesBytes);
