// The module's entry point and the selector dispatch: every host call passes through here.
// The dispatcher obtains the globals from the host's data slot, makes sure the parameter block
// exists, hands the selector to its stage handler and releases its hold on the globals again.
#pragma once

#include <cstdint>

#include "run/globals.h"

extern "C" void PluginMain(int16_t selector, FilterRecord* filterRecord, intptr_t* data, int16_t* result);

void dispatchSelector(int16_t selector, FilterRecord* filterRecord, intptr_t* data, int16_t* result);

// The locked globals block, created zero-filled on first use and stored in the data slot; null
// when the host has no memory for it or cannot lock it.
PluginGlobals* allocateGlobals(int16_t* result, FilterRecord* filterRecord, const HandleProcs* procs,
                               int32_t size, intptr_t* data);

void doParameters(PluginGlobals* globals);
void doPrepare(PluginGlobals* globals);
void doFinish(PluginGlobals* globals);
