// The parameter block: the persistent block the host keeps in its `parameters` handle between
// runs, what it would record and replay. The module writes its fields when it creates the block
// and as a run reaches its steps, so the host sees in it what it always has; the run's own state
// is kept in the globals, and the only field read back is framework flag I, which the host may
// set. Also the buffer plan Prepare reports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "run/globals.h"

constexpr int32_t kParameterBlockBytes = 1208;
constexpr int32_t kTextFieldBytes = 260;

// Fields at fixed byte offsets, little-endian. Bytes that are not named are never written or
// read.
struct FilterParameters {
    uint32_t parametersRequested;  // 1 after Parameters, cleared by Start
    uint8_t unused4[2];
    uint16_t version;              // 1 at creation
    uint64_t creatorGlobals;       // address of the globals that created the block
    uint8_t unused16[66];
    uint8_t frameworkFlagA;
    uint8_t frameworkFlagB;
    uint8_t unused84;
    uint8_t advanceAndDisplay;     // set at Start when the host offers advanceState and displayPixels
    uint8_t frameworkFlagI;
    uint8_t frameworkFlagC;
    uint8_t unused88[8];
    int64_t frameworkValue;
    uint8_t unused104[104];
    uint32_t frameworkWordD;
    uint8_t unused212[80];
    uint32_t areaScale;            // 1: at creation, at Prepare, at the whole-area request and after it
    uint32_t outputMode;           // 0 at creation and at every Start: final pixels, with progress
    uint32_t frameworkWordE;
    int32_t areaOffsetX;           // 0 at every Start, before the source is read
    int32_t areaOffsetY;
    int32_t frameworkWordF;
    int32_t frameworkWordG;
    uint8_t unused320[44];
    int32_t persistentSettings[5];
    uint8_t sourceImported;        // 0 at every Start, 1 once the source is in and its pyramid built
    uint8_t unused385[23];
    uint32_t frameworkWordH;
    uint8_t unused412[12];
    char textFields[3][kTextFieldBytes];
    uint8_t unused1204[4];
};
static_assert(sizeof(FilterParameters) == kParameterBlockBytes);
static_assert(offsetof(FilterParameters, version) == 6 && offsetof(FilterParameters, creatorGlobals) == 8);
static_assert(offsetof(FilterParameters, frameworkFlagA) == 82 && offsetof(FilterParameters, frameworkFlagB) == 83);
static_assert(offsetof(FilterParameters, advanceAndDisplay) == 85 && offsetof(FilterParameters, frameworkFlagI) == 86);
static_assert(offsetof(FilterParameters, frameworkFlagC) == 87 && offsetof(FilterParameters, frameworkValue) == 96);
static_assert(offsetof(FilterParameters, frameworkWordD) == 208 && offsetof(FilterParameters, areaScale) == 292);
static_assert(offsetof(FilterParameters, outputMode) == 296 && offsetof(FilterParameters, frameworkWordE) == 300);
static_assert(offsetof(FilterParameters, areaOffsetX) == 304 && offsetof(FilterParameters, areaOffsetY) == 308);
static_assert(offsetof(FilterParameters, frameworkWordF) == 312 && offsetof(FilterParameters, frameworkWordG) == 316);
static_assert(offsetof(FilterParameters, persistentSettings) == 364 && offsetof(FilterParameters, sourceImported) == 384);
static_assert(offsetof(FilterParameters, frameworkWordH) == 408 && offsetof(FilterParameters, textFields) == 424);

// The block behind the host's parameters handle (through its master pointer; not locked).
FilterParameters* parameterBlock(const FilterRecord* record);

// Creates the parameter block when the host holds none, with its creation values, and lets go
// of whatever a run left in the globals, which a host without the block no longer backs;
// kMemFullErr when the block cannot be had.
int16_t validateParameters(PluginGlobals* globals);

// The buffer plan: the column records a run obtains for a work area (two lines of the longer
// side, or three rows and a margin, whichever is more), at least a row's width + 4 for each of
// the lanes that render side by side; and the memory reported to the host for them.
int32_t rowRecordsFor(int32_t workWidth, int32_t workHeight, int32_t lanes);
int32_t bufferSpaceFor(int32_t rowRecordCount);

// Start's flag for hosts that offer both advanceState and displayPixels.
void setAdvanceAndDisplayFlag(FilterParameters* block, const FilterRecord* record);

// The values every Start writes before it reads the host's pixels; the persistent settings
// start from their defaults on a fresh start.
void writeStartValues(FilterParameters* block, bool freshStart);
