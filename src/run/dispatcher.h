// The module's entry point and the selector dispatch: every host call passes through here.
// The dispatcher obtains the globals from the host's data slot, makes sure the parameter block
// exists, hands the selector to its stage handler, stores the code the handler returns as the
// host's result and releases its hold on the globals again.
#pragma once

#include <cstdint>

#include "platform/simd.h"
#include "run/globals.h"

extern "C" void PluginMain(int16_t selector, FilterRecord* filterRecord, intptr_t* data, int16_t* result);

// How many threads the module's runs render on: 0, the default, for every thread the system
// offers the process. Front ends built with the module set it before a run; the plug-in module
// that a host loads always uses the default.
void setRunThreads(int32_t threads);

// The widest vector instruction set the module's runs may use: the processor's widest by
// default. Every set gives the same bits; front ends built with the module set a narrower one
// before a run (from VELORUND_SIMD) to run the others, the tests to compare them. Without such
// a call (the plug-in module that a host loads, the GIMP plug-in) the module reads
// VELORUND_SIMD itself.
void setRunSimd(SimdLevel widest);

void dispatchSelector(int16_t selector, FilterRecord* filterRecord, intptr_t* data, int16_t* result);

// The locked globals block, created zero-filled on first use and stored in the data slot; null
// when the host has no memory for it or cannot lock it.
PluginGlobals* allocateGlobals(int16_t* result, FilterRecord* filterRecord, const HandleProcs* procs,
                               int32_t size, intptr_t* data);

int16_t doParameters(PluginGlobals* globals);
int16_t doPrepare(PluginGlobals* globals);
