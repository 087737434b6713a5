// PluginGlobals: the block the host keeps for the module in its data slot between selector
// calls. The host sees its size, which stays what it has always been, and the two pointers of
// the current call at its start; the rest carries the module's state from call to call: the
// fresh-start flag, the level of detail that runs hand on to the next, Prepare's plan and the
// state of the run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_api.h"
#include "run/run_state.h"

constexpr int32_t kGlobalsBytes = 10608;

struct PluginGlobals {
    // Rewritten on every call: the host may pass other addresses each time.
    int16_t* result;
    FilterRecord* filterRecord;

    uint8_t freshStart;  // written by Parameters only; read and cleared by Start
    // The level of detail the last run's rows left. The sampler's fallback for a sub-sample
    // without a footprint takes the level last computed, which a run carries on from the one
    // before it.
    float carriedLod;
    RunPlan plan;
    RunState run;
};
static_assert(sizeof(PluginGlobals) <= kGlobalsBytes, "the globals must fit the host's block");
static_assert(offsetof(PluginGlobals, result) == 0 && offsetof(PluginGlobals, filterRecord) == sizeof(int16_t*));
