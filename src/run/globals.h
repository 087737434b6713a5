// PluginGlobals: the module's per-invocation globals, a block the host keeps for the module in
// its data slot between selector calls. It carries the run state that the stage handlers hand
// to each other, the working buffers of a run, the two image buffers, the work queue, the
// render lane and the document's format.
//
// The block is the host's memory: its size and the offsets of its fields stay what they have
// always been. Fields that earlier versions kept and no longer need are named padding, and
// the records added since sit after the last of the original fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_api.h"
#include "image/image_buffer.h"
#include "image/work_queue.h"
#include "run/document_format.h"
#include "warp/renderer.h"

struct RunTables;

constexpr int32_t kGlobalsBytes = 10608;

struct PluginGlobals {
    // Rewritten on every call: the host may pass other addresses each time.
    int16_t* result;
    FilterRecord* filterRecord;

    uint8_t padding16[20];   // the job count and the work area's pixel ranges

    // Progress passed to the host during Continue.
    int32_t progressTotal;
    int32_t progressDone;

    uint8_t padding44[4];    // the row step
    int32_t currentRow;      // the row of the work area the next Continue step renders
    uint8_t padding52[16];   // the row ranges of the current request

    uint8_t running;         // 1 while rows remain
    uint8_t padding69[2];    // the repeat-row and mask-wanted flags

    Rect16 savedFilterRect;  // filterRect as Prepare saw it
    int32_t filterWidth;     // filterRect's size at Start
    int32_t filterHeight;
    int32_t workWidth;
    int32_t workHeight;
    uint8_t padding96[4];    // the row being rendered
    int32_t rowRecordCount;  // column records the row-record buffer holds
    uint8_t padding104[4];   // the row-record buffer's capacity
    uint8_t freshStart;      // written by Parameters only; read and cleared by Start

    // Working buffers of a run, each a host buffer identifier (0 for global memory) and a pointer.
    uint64_t rowRecordsBufferId;
    ColumnRecord* rowRecords;
    uint64_t jobsBufferId;
    uint8_t padding136[8];   // the job array's pointer, kept in the queue
    uint64_t runTablesBufferId;
    RunTables* runTables;

    ImageBuffer sourceImage;
    uint8_t sourceImagePadding[1312 - sizeof(ImageBuffer)];
    ImageBuffer mapGrid;
    uint8_t mapGridPadding[1312 - sizeof(ImageBuffer)];

    uint8_t padding2784[4];  // the run-state code

    // Size limit of the whole-area request: the request is cut to this rectangle's width and
    // height, which keeps it inside the filter rectangle and its cost to one tile.
    Rect16 wholeAreaLimit;

    WorkQueue queue;         // the job array of the run
    RenderLane lane;         // the one layer the filter renders
    DocumentFormat format;   // decided at Start from the host's document
};
static_assert(sizeof(PluginGlobals) <= kGlobalsBytes, "the globals must fit the host's block");
static_assert(offsetof(PluginGlobals, progressTotal) == 36 && offsetof(PluginGlobals, currentRow) == 48);
static_assert(offsetof(PluginGlobals, running) == 68 && offsetof(PluginGlobals, savedFilterRect) == 72);
static_assert(offsetof(PluginGlobals, workWidth) == 88 && offsetof(PluginGlobals, rowRecordCount) == 100);
static_assert(offsetof(PluginGlobals, freshStart) == 108 && offsetof(PluginGlobals, rowRecords) == 120);
static_assert(offsetof(PluginGlobals, runTables) == 152 && offsetof(PluginGlobals, sourceImage) == 160);
static_assert(offsetof(PluginGlobals, mapGrid) == 1472 && offsetof(PluginGlobals, wholeAreaLimit) == 2788);

// The host's result code for the current call.
inline int16_t resultCode(const PluginGlobals* globals) { return *globals->result; }
inline void setResultCode(PluginGlobals* globals, int16_t code) { *globals->result = code; }
