// The state of a filter run, as plain records the globals hold between selector calls: what
// Prepare plans for the filter rectangle, and what Start sets up and Continue works through
// until the run ends. None of it is the host's concern; the host's own blocks (the parameter
// block, the FilterRecord) only receive what it is shown.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "image/image_buffer.h"
#include "image/work_queue.h"
#include "run/document_format.h"
#include "warp/renderer.h"
#include "warp/row_block.h"
#include "warp/square_to_disc.h"

struct RunTables;

// What Prepare decides for the filter rectangle the host shows it.
struct RunPlan {
    Rect16 filterRect;    // filterRect as Prepare saw it
    int32_t workWidth;    // its size: the pass renders this many rows of this many pixels
    int32_t workHeight;
    int32_t threadCount;  // threads the run renders on
    SimdLevel simd;       // the instruction set of its pixel loops
};

// A run from Start to its end. Its working memory is a host buffer identifier (0 for global
// memory) and a pointer per block, null when the run holds none.
struct RunState {
    // The host's document, as Start found it.
    int32_t filterWidth;  // filterRect's size at Start: the host's rows are this wide
    int32_t filterHeight;
    DocumentFormat format;

    // Working memory, obtained at Start and released when the run ends.
    uint64_t rowRecordsBufferId;
    ColumnRecord* rowRecords;     // the lanes' column records, then the rows rendered ahead
    int32_t rowRecordCount;
    uint64_t jobsBufferId;        // the job array, which the queue holds
    uint64_t runTablesBufferId;
    RunTables* runTables;
    uint64_t mapGridBufferId;
    MapGrid* mapGrid;             // null when its memory could not be had
    uint64_t blockRowsBufferId;
    uint8_t* blockRows;           // the rows rendered ahead, when the row records leave no room
    ImageBuffer source;

    WorkQueue queue;
    RowBlock rowBlock;            // rows rendered ahead of the host

    // Progress through the pass.
    bool sourceImported;          // the source is in and its pyramid built
    bool running;                 // rows remain
    int32_t currentRow;           // the row the next Continue step hands over
    int32_t progressDone;         // what the host is told in progress reports
    int32_t progressTotal;
};

// Obtains the row records, the job array and the run tables for the planned work area, each
// zero-filled; false, with whatever was obtained released, when any cannot be had.
bool allocateRunBuffers(RunState* run, const RunPlan& plan, const BufferProcs* procs);

// Obtains the map grid and builds it. A grid whose memory cannot be had leaves the pointer
// null; the run goes on with every point inside the disc mapped to the source's centre.
void obtainMapGrid(RunState* run, const BufferProcs* procs);

// Releases the run's working memory, the source image included, once its workers are stopped.
void freeRunBuffers(RunState* run, const BufferProcs* procs);

// Starts the run's worker threads for the current call (none for a run on one thread), and
// stops them again. Workers run only inside a Start or Continue call: the dispatcher stops them
// at the end of every call.
void startRunWorkers(RunState* run, int32_t threadCount);
void stopRunWorkers(RunState* run);

// Lets go of the working memory a run left behind when it ended in an error, or that a new run
// replaces: what came from global memory is released, the host's buffers are forgotten, as the
// host frees its buffers when a filter ends and may have done so already.
void forgetRunBuffers(RunState* run);
