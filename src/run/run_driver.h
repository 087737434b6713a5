// The run driver: the Start and Continue stages of a filter run, and the working buffers that
// live from Start until Continue ends the run. It is the one place that knows the whole data
// path: host tiles into the source image and its pyramid, rows rendered by the warp engine,
// each straight into the host's output row.
#pragma once

#include "run/globals.h"

void doStart(PluginGlobals* globals);
void doContinue(PluginGlobals* globals);

// The threads a run is to render on: the count set by setRunThreads, or every hardware thread.
int32_t runThreadCount();

// Starts the run's worker threads for the current call (none for a run on one thread), and
// stops them again; the dispatcher stops them at the end of every call.
void startRunWorkers(PluginGlobals* globals);
void stopRunWorkers(PluginGlobals* globals);

// Obtains the row records, the job array and the run tables; false (with everything released,
// the host rectangles emptied and result 3) when any of them cannot be had.
bool allocateRunBuffers(PluginGlobals* globals);

// Releases the run's working buffers and both image buffers.
void freeRunBuffers(PluginGlobals* globals);

// Start's work after the checks: the import, the row state, and the request for row 0.
void startProcessing(PluginGlobals* globals);

// Reads the whole source area from the host, one advanceState per 512 x 512 tile, and builds
// its pyramid; stops at the first host error.
void importSource(PluginGlobals* globals);

// Builds the weight table, sets up the render lanes and the row block, and sets the row state
// to the top of the work area; -108 when the row block's buffer cannot be had.
void prepareRows(PluginGlobals* globals);

// Hands the current row to the host's output row, rendering the block of rows it starts first
// when it is not rendered yet, and moves on; -128 when a cancel poll finds the user has
// cancelled.
void processNextRow(PluginGlobals* globals);

// Progress to the host, thinned to the first report, every 32nd and any jump of 5 or more.
void reportProgress(PluginGlobals* globals, int32_t done, int32_t total);

// Asks the host whether the user has cancelled, on every 32nd call only.
bool testAbort(PluginGlobals* globals);
