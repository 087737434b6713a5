// The run driver: the Start and Continue stages of a filter run, and the working buffers that
// live from Start until Continue ends the run.
#pragma once

#include "host/globals.h"

void doStart(PluginGlobals* globals);
void doContinue(PluginGlobals* globals);

// Obtains the row records, the job array and the run tables; false (with everything released,
// the host rectangles emptied and result 3) when any of them cannot be had.
bool allocateRunBuffers(PluginGlobals* globals);

// Releases the run's working buffers and both image buffers.
void freeRunBuffers(PluginGlobals* globals);
