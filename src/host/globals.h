// PluginGlobals: the module's per-invocation globals, a block the host keeps for the module in
// its data slot between selector calls. It carries the run state that the stage handlers hand
// to each other, the working buffers of a run and the two image buffers.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "image/image_buffer.h"

struct ColumnRecord;
struct JobRecord;
struct RunTables;

constexpr int32_t kGlobalsBytes = 10608;
constexpr int32_t kColumnRecordBytes = 124;
constexpr int32_t kJobRecordBytes = 96;
constexpr int32_t kJobCapacity = 1;

struct PluginGlobals {
    // Rewritten on every call: the host may pass other addresses each time.
    int16_t* result;
    FilterRecord* filterRecord;

    int32_t jobCount;

    // Pixel ranges of the work area.
    int32_t firstRow;
    int32_t lastRow;
    int32_t firstColumn;
    int32_t lastColumn;

    // Progress passed to the host during Continue.
    int32_t progressTotal;
    int32_t progressDone;

    int32_t rowStep;     // always 1
    int32_t currentRow;  // the row of the work area the next Continue step renders

    // Rows of the current host request, relative to the top of filterRect.
    int32_t maskFirstRow;
    int32_t maskLastRow;
    int32_t inputFirstRow;
    int32_t inputLastRow;

    uint8_t running;     // 1 while rows remain
    uint8_t repeatRow;   // 1 asks Continue to run the row step again first; always 0 here
    uint8_t maskWanted;  // 1 makes row requests include the selection mask

    Rect16 savedFilterRect;  // filterRect as Prepare saw it
    int32_t filterWidth;     // filterRect's size at Start
    int32_t filterHeight;
    int32_t workWidth;
    int32_t workHeight;
    int32_t renderingRow;    // the row being rendered
    int32_t rowRecordCount;  // column records the row-record buffer holds
    int32_t rowRecordCapacity;  // column records the buffer was obtained for
    uint8_t freshStart;      // written by Parameters only; read and cleared by Start

    // Working buffers of a run, each a host buffer identifier (0 for global memory) and a pointer.
    uint64_t rowRecordsBufferId;
    ColumnRecord* rowRecords;
    uint64_t jobsBufferId;
    JobRecord* jobs;
    uint64_t runTablesBufferId;
    RunTables* runTables;

    ImageBuffer sourceImage;
    ImageBuffer mapGrid;

    int32_t runStateCode;

    // Size limit of the whole-area request: the request is cut to this rectangle's width and
    // height, which keeps it inside the filter rectangle and its cost to one tile.
    Rect16 wholeAreaLimit;
};
static_assert(sizeof(PluginGlobals) <= kGlobalsBytes, "the globals must fit the host's block");

// The host's result code for the current call.
inline int16_t resultCode(const PluginGlobals* globals) { return *globals->result; }
inline void setResultCode(PluginGlobals* globals, int16_t code) { *globals->result = code; }
