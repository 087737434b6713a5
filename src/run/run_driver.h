// The run driver: the Start and Continue stages of a filter run, and the working buffers that
// live from Start until Continue ends the run. It is the one place that knows the whole data
// path: host tiles into the source image and its pyramid, rows rendered by the warp engine,
// each straight into the host's output row.
#pragma once

#include "run/globals.h"

void doStart(PluginGlobals* globals);
void doContinue(PluginGlobals* globals);

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

// Builds the weight table, sets up the render lane and its column records, and sets the row
// state to the top of the work area.
void prepareRows(PluginGlobals* globals);

// Renders the current row into the host's output row and moves on; -128 when a cancel poll
// finds the user has cancelled.
void processNextRow(PluginGlobals* globals);

// Progress to the host, thinned to the first report, every 32nd and any jump of 5 or more.
void reportProgress(PluginGlobals* globals, int32_t done, int32_t total);

// Asks the host whether the user has cancelled, on every 32nd call only.
bool testAbort(PluginGlobals* globals);
