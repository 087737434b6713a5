// Entry point, selector dispatch, the globals block and the Parameters and Prepare stages.
// Start and Continue belong to the run driver.
#include "run/dispatcher.h"

#include <cstring>

#include "host/handles.h"
#include "host/host_rect.h"
#include "platform/dialogs.h"
#include "platform/module_state.h"
#include "run/parameters.h"
#include "run/run_driver.h"

// Exported from the Windows module by its module-definition file.
extern "C" void PluginMain(int16_t selector, FilterRecord* filterRecord, intptr_t* data, int16_t* result) {
    dispatchSelector(selector, filterRecord, data, result);
}

PluginGlobals* allocateGlobals(int16_t* result, FilterRecord* filterRecord, const HandleProcs* procs,
                               int32_t size, intptr_t* data) {
    Handle handle = reinterpret_cast<Handle>(*data);
    if (!handle) {
        handle = newHandle(procs, size);
        if (!handle) return nullptr;
        Ptr block = lockHandle(procs, handle, true);
        if (!block) {
            disposeHandle(procs, handle);
            return nullptr;
        }
        // A fresh block starts zero-filled whatever the host's memory held, so the fresh-start
        // flag reads 0 when Start comes without a Parameters call first.
        memset(block, 0, static_cast<size_t>(size));
        PluginGlobals* globals = reinterpret_cast<PluginGlobals*>(block);
        globals->result = result;
        globals->filterRecord = filterRecord;
        *result = kNoErr;
        *data = reinterpret_cast<intptr_t>(handle);
        return globals;
    }

    Ptr block = lockHandle(procs, handle, true);
    if (!block) return nullptr;
    PluginGlobals* globals = reinterpret_cast<PluginGlobals*>(block);
    globals->result = result;
    *result = kNoErr;
    globals->filterRecord = filterRecord;
    return globals;
}

// The stage handler of a selector.
static int16_t runSelector(int16_t selector, PluginGlobals* globals) {
    switch (selector) {
        case kSelectorParameters: return doParameters(globals);
        case kSelectorPrepare: return doPrepare(globals);
        case kSelectorStart: return doStart(globals);
        case kSelectorContinue: return doContinue(globals);
        case kSelectorFinish: return kNoErr;  // the run is over by the time Finish comes
        default: return kFilterBadParameters;
    }
}

void dispatchSelector(int16_t selector, FilterRecord* filterRecord, intptr_t* data, int16_t* result) {
    // The instance handle the system gave the module at load time stays current: hosts pass no
    // plug-in reference from which to refresh it.

    // About needs no globals, reads no FilterRecord field and leaves the result as it was.
    if (selector == kSelectorAbout) {
        aboutBoxOpen = 0;
        showAboutBox();
        return;
    }

    bool freshStart = *data == 0;
    const HandleProcs* procs = filterRecord->handleProcs;
    PluginGlobals* globals = allocateGlobals(result, filterRecord, procs, kGlobalsBytes, data);
    if (!globals) {
        *result = kMemFullErr;
        return;
    }

    if (selector == kSelectorParameters) globals->freshStart = freshStart ? 1 : 0;

    int16_t code = validateParameters(globals);
    if (code == kNoErr) code = runSelector(selector, globals);
    *result = code;

    // No worker thread outlives the call, and the globals are locked only for its length,
    // errors included.
    stopRunWorkers(&globals->run);
    // A run that ends in an error leaves its working memory to the host: the module lets go of
    // it at once, so that no later call reaches a buffer the host has freed.
    bool runCall = selector == kSelectorStart || selector == kSelectorContinue;
    if (runCall && code != kNoErr) forgetRunBuffers(&globals->run);
    if (*data) unlockHandle(procs, reinterpret_cast<Handle>(*data));
}

int16_t doParameters(PluginGlobals* globals) {
    parameterBlock(globals->filterRecord)->parametersRequested = 1;
    return kNoErr;
}

int16_t doPrepare(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    record->bufferSpace = 0;

    // A new run: what the last one held is gone, released by it or freed by the host it was
    // left to after an error.
    forgetRunBuffers(&globals->run);
    globals->run = RunState{};
    RunPlan& plan = globals->plan;
    plan.filterRect = record->filterRect;
    plan.workWidth = rectWidth(plan.filterRect);
    plan.workHeight = rectHeight(plan.filterRect);
    FilterParameters* block = parameterBlock(record);
    block->areaScale = 1;

    // Tell the host the memory the run will ask for, with a lane for every thread.
    plan.threadCount = runThreadCount();
    plan.simd = runSimdLevel();
    record->bufferSpace = bufferSpaceFor(rowRecordsFor(plan.workWidth, plan.workHeight, plan.threadCount));

    block->frameworkFlagC = 0;
    aboutBoxOpen = 0;
    return kNoErr;
}
