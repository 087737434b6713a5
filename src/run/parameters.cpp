// Creation of the parameter block, the values runs write into it, and the buffer plan.
#include "run/parameters.h"

#include <algorithm>
#include <cstring>

#include "host/handles.h"

FilterParameters* parameterBlock(const FilterRecord* record) {
    Handle handle = record->parameters;
    return handle ? reinterpret_cast<FilterParameters*>(*handle) : nullptr;
}

int16_t validateParameters(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    if (record->parameters) return kNoErr;

    Handle handle = newHandle(record->handleProcs, kParameterBlockBytes);
    if (!handle) return kMemFullErr;
    record->parameters = handle;
    forgetRunBuffers(&globals->run);

    // Creation values; every other byte of the block stays as the host made it.
    FilterParameters* block = parameterBlock(record);
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
    return kNoErr;
}

int32_t rowRecordsFor(int32_t workWidth, int32_t workHeight, int32_t lanes) {
    int32_t plan = std::max(2 * (std::max(workWidth, workHeight) + 4), 3 * workWidth + 2184);
    return std::max(plan, lanes * (workWidth + 4));
}

int32_t bufferSpaceFor(int32_t rowRecordCount) { return rowRecordCount * kColumnRecordBytes + 1112; }

void setAdvanceAndDisplayFlag(FilterParameters* block, const FilterRecord* record) {
    bool offersBoth = record->advanceState && record->displayPixels;
    block->advanceAndDisplay = (offersBoth && block->frameworkFlagI == 0) ? 1 : 0;
}

void writeStartValues(FilterParameters* block, bool freshStart) {
    block->frameworkValue = -99;
    if (freshStart) {
        const int32_t defaults[5] = {0, 0, 1, 100, 100};
        memcpy(block->persistentSettings, defaults, sizeof defaults);
    }
    for (char* text : block->textFields) text[0] = 0;
    block->sourceImported = 0;
    block->frameworkWordH = 3;
}
