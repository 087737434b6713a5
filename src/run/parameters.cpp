// Creation of the parameter block, the work area, the buffer plan and the resets of the run
// state at Prepare and Start.
#include "run/parameters.h"

#include <algorithm>
#include <cstring>

#include "host/handles.h"
#include "host/work_memory.h"
#include "run/run_tables.h"

FilterParameters* parameterBlock(const PluginGlobals* globals) {
    Handle handle = globals->filterRecord->parameters;
    return handle ? reinterpret_cast<FilterParameters*>(*handle) : nullptr;
}

void forgetRunBuffers(PluginGlobals* globals) {
    // Released without the host's suite: global memory is given back, a host buffer only
    // forgotten, as the host frees its buffers when a filter ends and may have done so already.
    freeWorkMemory(&globals->blockRows, &globals->blockRowsBufferId, nullptr);
    freeWorkMemory(&globals->rowRecords, &globals->rowRecordsBufferId, nullptr);
    freeWorkMemory(&globals->queue.jobs, &globals->jobsBufferId, nullptr);
    freeWorkMemory(&globals->runTables, &globals->runTablesBufferId, nullptr);
    const BufferProcs* procs = globals->filterRecord->bufferProcs;
    abandonImageBuffer(&globals->sourceImage, procs, nullptr);
    abandonImageBuffer(&globals->mapGrid, procs, nullptr);
}

void validateParameters(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    if (record->parameters) return;

    Handle handle = newHandle(record->handleProcs, kParameterBlockBytes);
    if (!handle) {
        setResultCode(globals, kMemFullErr);
        return;
    }
    record->parameters = handle;
    forgetRunBuffers(globals);

    // Creation values; every other byte of the block stays as the host made it.
    FilterParameters* block = parameterBlock(globals);
    block->version = 1;
    block->creatorGlobals = reinterpret_cast<uintptr_t>(globals);
    block->frameworkFlagA = 1;
    block->frameworkFlagB = 1;
    block->advanceAndDisplay = 0;
    block->frameworkFlagI = 0;
    block->frameworkFlagC = 0;
    block->frameworkWordD = 1;
    block->areaScale = 1;
    block->outputMode = 0;
    block->frameworkWordE = 1;
    block->frameworkWordF = -1;
    block->frameworkWordG = -1;
}

void setWorkArea(PluginGlobals* globals, const Rect16& rect, uint32_t scale) {
    parameterBlock(globals)->areaScale = scale;
    globals->workWidth = rect.right - rect.left;
    globals->workHeight = rect.bottom - rect.top;
}

int32_t rowRecordsFor(int32_t workWidth, int32_t workHeight, int32_t lanes) {
    int32_t plan = std::max(2 * (std::max(workWidth, workHeight) + 4), 3 * workWidth + 2184);
    return std::max(plan, lanes * (workWidth + 4));
}

int32_t bufferSpaceFor(int32_t rowRecordCount) { return rowRecordCount * kColumnRecordBytes + 1112; }

void resetRunState(PluginGlobals* globals) {
    globals->currentRow = 0;
    globals->progressDone = 0;
    globals->progressTotal = 0;
    globals->running = 0;
    parameterBlock(globals)->frameworkFlagC = 0;
}

void setAdvanceAndDisplayFlag(PluginGlobals* globals) {
    const FilterRecord* record = globals->filterRecord;
    FilterParameters* block = parameterBlock(globals);
    bool offersBoth = record->advanceState && record->displayPixels;
    block->advanceAndDisplay = (offersBoth && block->frameworkFlagI == 0) ? 1 : 0;
}

void initialiseRun(PluginGlobals* globals) {
    FilterParameters* block = parameterBlock(globals);
    const BufferProcs* procs = globals->filterRecord->bufferProcs;
    const WeightTable* weights = &globals->runTables->weightTable;

    // Both image buffers share the run's weight table.
    resetImageBuffer(&globals->sourceImage, procs, weights);
    resetImageBuffer(&globals->mapGrid, procs, weights);

    block->frameworkValue = -99;

    // The settings start from their defaults once after the module was loaded.
    if (globals->freshStart) {
        globals->freshStart = 0;
        const int32_t defaults[5] = {0, 0, 1, 100, 100};
        memcpy(block->persistentSettings, defaults, sizeof defaults);
    }

    for (char* text : block->textFields) text[0] = 0;
    block->sourceImported = 0;

    // The mapping grid starts small and unbuilt; the warp rebuilds it at its own size.
    createImageBuffer(&globals->mapGrid, 50, 50, kImageRgbaFloat, kWrapClamp, false);

    block->frameworkWordH = 3;
}
