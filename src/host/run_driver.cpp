// Start and Continue. Start checks the host, obtains the run's working buffers and initialises
// the run; the source import and the row renderer are not part of the module yet, so the run
// then ends at once: its memory is released, the host rectangles are emptied and no pixel of
// the document is written.
#include "host/run_driver.h"

#include <algorithm>

#include "host/host_requests.h"
#include "host/parameters.h"
#include "host/run_tables.h"
#include "host/work_memory.h"
#include "platform/dialogs.h"

constexpr int16_t kRunRefused = 1;
constexpr int16_t kRunBuffersMissing = 3;

bool allocateRunBuffers(PluginGlobals* globals) {
    forgetRunBuffers(globals);
    const FilterRecord* record = globals->filterRecord;
    const BufferProcs* procs = record->bufferProcs;

    int32_t filterWidth = record->filterRect.right - record->filterRect.left;
    int32_t rowRecords = std::max(globals->rowRecordCount, filterWidth + 4);
    globals->rowRecords = static_cast<ColumnRecord*>(
        allocateWorkMemory(rowRecords * kColumnRecordBytes, &globals->rowRecordsBufferId, procs));
    globals->jobs = static_cast<JobRecord*>(
        allocateWorkMemory(kJobCapacity * kJobRecordBytes, &globals->jobsBufferId, procs));
    globals->runTables = static_cast<RunTables*>(
        allocateWorkMemory(kRunTablesBytes, &globals->runTablesBufferId, procs));

    if (!globals->rowRecords || !globals->jobs || !globals->runTables) {
        freeRunBuffers(globals);
        setResultCode(globals, kRunBuffersMissing);
        clearHostRects(globals);
        return false;
    }
    return true;
}

void freeRunBuffers(PluginGlobals* globals) {
    const BufferProcs* procs = globals->filterRecord->bufferProcs;
    freeWorkMemory(&globals->rowRecords, &globals->rowRecordsBufferId, procs);
    freeWorkMemory(&globals->jobs, &globals->jobsBufferId, procs);
    freeWorkMemory(&globals->runTables, &globals->runTablesBufferId, procs);
    freeImageBuffer(&globals->sourceImage);
    freeImageBuffer(&globals->mapGrid);
}

// Releases everything the run holds and tells the host the filter is done.
static void endRun(PluginGlobals* globals) {
    freeRunBuffers(globals);
    clearHostRects(globals);
}

void doStart(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    validateParameters(globals);

    // The source is fetched tile by tile through advanceState: a host without it is refused
    // before anything is allocated.
    if (!record->advanceState) {
        setResultCode(globals, kRunRefused);
        clearHostRects(globals);
        return;
    }

    setAdvanceAndDisplayFlag(globals);
    if (!allocateRunBuffers(globals) || resultCode(globals) != kNoErr) {
        setResultCode(globals, kRunRefused);
        return;
    }

    initialiseRun(globals);
    globals->filterWidth = record->filterRect.right - record->filterRect.left;
    globals->filterHeight = record->filterRect.bottom - record->filterRect.top;

    if (record->imageMode == kModeMultichannel) {
        showMessageDialog("REFUSAL3");
        setResultCode(globals, kRunRefused);
    }
    if (resultCode(globals) != kNoErr) {
        endRun(globals);
        return;
    }

    FilterParameters* block = parameterBlock(globals);
    block->parametersRequested = 0;
    block->outputMode = 0;

    endRun(globals);
}

void doContinue(PluginGlobals* globals) { endRun(globals); }
