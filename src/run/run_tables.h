// RunTables: the working block a run obtains at Start. It carries the throttles that thin out
// progress reports and cancel polls, and the resampling weight table that every image buffer
// of the run reads.
#pragma once

#include <cstdint>

#include "sampling/weight_table.h"

constexpr int32_t kRunTablesBytes = 23024;

struct RunTables {
    int32_t cancelPollCounter;  // only its value modulo 32 matters
    int32_t progressCounter;    // likewise
    int32_t lastProgress;       // the done value of the last report
    uint8_t padding12[4];
    WeightTable weightTable;
    uint8_t spare[kRunTablesBytes - 16 - sizeof(WeightTable)];
};
static_assert(sizeof(RunTables) == kRunTablesBytes);
