// The run driver: the Start and Continue stages of a filter run. It is the one place that knows
// the whole data path: host tiles into the source image and its pyramid, rows rendered by the
// warp engine, each handed into the host's output row. Each stage returns the host's result
// code for the call.
#pragma once

#include <cstdint>

#include "run/globals.h"

// The module's own failures, positive so that the host shows no message of its own.
constexpr int16_t kRunRefused = 1;         // Start refused the run: no advanceState, working memory not had, or a multichannel image
constexpr int16_t kSourceNotCreated = 999; // the source image could not be created

int16_t doStart(PluginGlobals* globals);
int16_t doContinue(PluginGlobals* globals);

// The threads a run is to render on: the count set by setRunThreads, or every hardware thread.
int32_t runThreadCount();

// The instruction set a run's pixel loops take: the processor's widest, at most the one set by
// setRunSimd or, where no front end set one, the one VELORUND_SIMD names.
SimdLevel runSimdLevel();

// Progress to the host, thinned to the first report, every 32nd and any jump of 5 or more.
void reportProgress(RunTables* tables, const FilterRecord* record, int32_t done, int32_t total);

// Asks the host whether the user has cancelled, on every 32nd call only.
bool testAbort(RunTables* tables, const FilterRecord* record);
