// Start and Continue. Start obtains the run's working memory and its map grid, reads the whole
// source area from the host tile by tile into the source image, builds its pyramid, prepares
// the render lanes and asks for output row 0. Continue then hands the rows over from top to
// bottom, each into the host's output row, fetching the next through advanceState, with
// progress reports and cancel polls on every 32nd row; the rows are rendered ahead in blocks,
// on every thread the run has. When the rows are done, or on cancel or error, it releases the
// working memory and empties the rectangles. Worker threads run only inside a Start or
// Continue call.
#include "run/run_driver.h"

#include <algorithm>
#include <cstdlib>

#include "host/host_rect.h"
#include "host/work_memory.h"
#include "image/pyramid.h"
#include "platform/check.h"
#include "platform/dialogs.h"
#include "run/host_requests.h"
#include "run/parameters.h"
#include "run/plane_import.h"
#include "run/run_tables.h"
#include "sampling/weight_table.h"

constexpr int32_t kThrottlePeriod = 32;
constexpr int32_t kProgressJump = 5;

static int32_t requestedThreads = 0;                   // set by the front end; 0 for every hardware thread
static SimdLevel widestSimd = SimdLevel::Avx512;       // set by the front end
static bool simdSetByFrontEnd = false;

void setRunThreads(int32_t threads) { requestedThreads = threads; }
void setRunSimd(SimdLevel widest) {
    widestSimd = widest;
    simdSetByFrontEnd = true;
}

int32_t runThreadCount() {
    int32_t threads = requestedThreads > 0 ? requestedThreads : hardwareThreads();
    return std::clamp(threads, 1, kMaxThreads);
}

SimdLevel runSimdLevel() {
    // A host that loads the module has no call to narrow the set; VELORUND_SIMD in the process's
    // environment does it there (an unknown name changes nothing).
    SimdLevel widest = widestSimd, named;
    if (!simdSetByFrontEnd && simdLevelNamed(std::getenv("VELORUND_SIMD"), &named)) widest = named;
    return std::min(widest, processorSimdLevel());
}

// Releases everything the run holds and tells the host the filter is done.
static void endRun(PluginGlobals* globals) {
    freeRunBuffers(&globals->run, globals->filterRecord->bufferProcs);
    clearHostRects(globals->filterRecord);
}

void reportProgress(RunTables* tables, const FilterRecord* record, int32_t done, int32_t total) {
    tables->progressCounter %= kThrottlePeriod;
    // A large jump reports at once; the difference is taken wide, whatever the last value.
    if (int64_t{done} - tables->lastProgress >= kProgressJump) tables->progressCounter = 0;
    ProgressProc progress = record->progressProc;
    if ((tables->progressCounter == 0 || done == 0) && progress) progress(done, total);
    tables->progressCounter++;
    tables->lastProgress = done;
}

bool testAbort(RunTables* tables, const FilterRecord* record) {
    tables->cancelPollCounter = (tables->cancelPollCounter % kThrottlePeriod + 1) % kThrottlePeriod;
    TestAbortProc abortProc = record->abortProc;
    return tables->cancelPollCounter == 0 && abortProc && abortProc();
}

// What a job of the import converts: rows of one delivered tile.
struct TileImport {
    ImageBuffer* source;
    const DocumentFormat* format;
    const FilterRecord* record;
    int32_t tile;
};

static void importRowsJob(const JobRecord* job) {
    const TileImport* import = static_cast<const TileImport*>(job->context);
    convertTileRows(import->source, import->format, import->record, import->tile, job->stripFirst, job->stripLast);
}

// Reads the whole source area from the host, one advanceState per 512 x 512 tile, each tile's
// rows converted on every thread, builds its pyramid and asks for the whole area once more;
// stops at the first host error.
static int16_t importSource(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    RunState* run = &globals->run;
    ImageBuffer* source = &run->source;
    const Rect16& area = globals->plan.filterRect;
    if (!createImageBuffer(source, rectWidth(area), rectHeight(area), run->format.sourceImageMode)) {
        return kSourceNotCreated;
    }

    // One request and one advanceState per tile of level 0, row by row.
    for (uint32_t t = source->levelFirstTile[0]; t <= source->levelLastTile[0]; t++) {
        requestTile(record, tileRect(source, static_cast<int32_t>(t)));
        int16_t result = record->advanceState();
        if (result != kNoErr) return result;
        TileImport import = {source, &run->format, record, static_cast<int32_t>(t)};
        enqueueRangeJobs(&run->queue, 0, source->tiles[t].height - 1, importRowsJob, &import);
        runJobs(&run->queue);
    }
    buildPyramid(source, &run->queue);
    reportProgress(run->runTables, record, 1, 100);
    run->sourceImported = true;
    parameterBlock(record)->sourceImported = 1;

    // The whole area, whose pixels nothing reads; the host hears of it as it always has.
    requestWholeArea(record);
    parameterBlock(record)->areaScale = 1;
    return record->advanceState();
}

// Builds the weight table, sets up the render lanes and the row block, and sets the row state
// to the top of the work area; kMemFullErr when the row block's own buffer cannot be had.
static int16_t prepareRows(PluginGlobals* globals) {
    RunState* run = &globals->run;
    const RunPlan& plan = globals->plan;
    RunTables* tables = run->runTables;

    // The buffer plan always leaves two column records beyond each side of a row, per lane.
    int32_t lanes = run->queue.capacity;
    int32_t laneRecords = plan.workWidth + 4;
    VELORUND_CHECK(lanes >= 1 && lanes <= kMaxThreads && run->rowRecordCount >= lanes * laneRecords);
    buildWeightTable(&tables->weightTable);

    // A lane per thread, each with column records of its own, all mapping through one frame.
    MapFrame frame = mapFrameOf(run->mapGrid, run->source.levelWidth[0], run->source.levelHeight[0]);
    for (int32_t i = 0; i < lanes; i++) {
        setupRenderLane(&tables->lanes[i], &run->source, frame, run->rowRecords + i * laneRecords, plan.workWidth);
    }

    // The block of rows rendered ahead, in the host's sample layout, going on from the level of
    // detail the last run left.
    const OutputFormat& format = run->format.output;
    int32_t sampleBytes = format.sample == OutputSample::Int8 ? 1 : format.sample == OutputSample::Int16 ? 2 : 4;
    RowBlock* rows = &run->rowBlock;
    rows->lanes = tables->lanes;
    rows->laneCount = lanes;
    rows->queue = &run->queue;
    rows->rowBytes = static_cast<size_t>(run->filterWidth) * std::max<int32_t>(format.planes, 1) * sampleBytes;
    rows->passHeight = plan.workHeight;
    rows->output = {nullptr, run->filterWidth, format};
    rows->first = 0;
    rows->count = 0;
    rows->carriedLod = globals->carriedLod;

    // The rows live in the row-record buffer past the lanes' records: its plan holds far more
    // records than a lane or two use, so the run needs no more memory than one lane did. Strips
    // are as long as that room allows, up to kRowsPerStrip rows; only lanes that leave no room
    // for a row each get a buffer of their own.
    size_t spare = static_cast<size_t>(run->rowRecordCount - lanes * laneRecords) * kColumnRecordBytes;
    size_t fit = spare / (rows->rowBytes * lanes);
    rows->rowsPerStrip = fit >= 1 ? static_cast<int32_t>(std::min<size_t>(fit, kRowsPerStrip)) : kRowsPerStrip;
    rows->capacity = std::min(plan.workHeight, lanes * rows->rowsPerStrip);
    if (fit >= 1) {
        rows->rows = reinterpret_cast<uint8_t*>(run->rowRecords + lanes * laneRecords);
    } else {
        run->blockRows = static_cast<uint8_t*>(allocateWorkMemory(
            static_cast<int32_t>(rows->rowBytes) * rows->capacity, &run->blockRowsBufferId,
            globals->filterRecord->bufferProcs));
        rows->rows = run->blockRows;
        if (!run->blockRows) return kMemFullErr;
    }

    // Every row is still to come.
    run->currentRow = 0;
    run->progressDone = 0;
    run->progressTotal = plan.workHeight;
    run->running = true;
    return kNoErr;
}

// Start's work once the run is set up: the import, the row state, and the request for row 0.
// The area offsets, the restored filter rectangle and the area scale are what the host has
// always been shown at these steps.
static int16_t startProcessing(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    FilterParameters* block = parameterBlock(record);
    block->areaOffsetX = 0;
    block->areaOffsetY = 0;

    int16_t result = importSource(globals);
    record->filterRect = globals->plan.filterRect;
    block->areaScale = 1;
    if (result != kNoErr) return result;

    result = prepareRows(globals);
    if (result != kNoErr) return result;
    requestRow(record, globals->run.currentRow, globals->run.filterHeight);
    return record->advanceState();
}

int16_t doStart(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    RunState* run = &globals->run;
    FilterParameters* block = parameterBlock(record);

    // The source is fetched tile by tile through advanceState: a host without it is refused
    // before anything is allocated.
    if (!record->advanceState) {
        clearHostRects(record);
        return kRunRefused;
    }

    setAdvanceAndDisplayFlag(block, record);
    if (!allocateRunBuffers(run, globals->plan, record->bufferProcs)) {
        clearHostRects(record);
        return kRunRefused;
    }

    // The run's values in the parameter block; the settings start from their defaults once after
    // the module was loaded.
    writeStartValues(block, globals->freshStart);
    globals->freshStart = 0;

    // The source image reads the run's weight table. The map grid is obtained and built here,
    // where the run takes the rest of its memory before the import: once Start has returned, a
    // run asks the host for no more memory.
    resetImageBuffer(&run->source, record->bufferProcs, &run->runTables->weightTable);
    run->source.simd = globals->plan.simd;
    run->sourceImported = false;
    obtainMapGrid(run, record->bufferProcs);
    run->filterWidth = rectWidth(record->filterRect);
    run->filterHeight = rectHeight(record->filterRect);

    if (record->imageMode == kModeMultichannel) {
        showMessageDialog("REFUSAL3");
        endRun(globals);
        return kRunRefused;
    }

    block->parametersRequested = 0;
    block->outputMode = 0;
    run->format = documentFormat(record);
    startRunWorkers(run, globals->plan.threadCount);
    return startProcessing(globals);
}

// Hands one row to the host's output row, which the host must have handed over, rendering the
// block of rows it starts first when the block ahead does not hold it.
static int16_t handOverRow(PluginGlobals* globals, int32_t row) {
    const FilterRecord* record = globals->filterRecord;
    if (!record->inData || !record->outData) return kMemFullErr;
    RowBlock* block = &globals->run.rowBlock;
    if (row < block->first || row >= block->first + block->count) {
        renderRowBlock(block, row);
        globals->carriedLod = block->carriedLod;
    }
    copyOutputRow(block->output.format, rowOfBlock(block, row), static_cast<uint8_t*>(record->outData),
                  globals->run.filterWidth);
    return kNoErr;
}

// Reports progress, hands the current row over and moves on to the next; then polls for
// cancel, whose answer stands over a failed hand-over.
static int16_t processNextRow(PluginGlobals* globals) {
    RunState* run = &globals->run;
    const FilterRecord* record = globals->filterRecord;
    reportProgress(run->runTables, record, run->progressDone, run->progressTotal);
    run->progressDone++;

    int16_t result = handOverRow(globals, run->currentRow);
    if (run->currentRow == globals->plan.workHeight - 1) {
        run->running = false;
        run->currentRow = 0;
    } else {
        run->currentRow++;
    }

    if (testAbort(run->runTables, record)) result = kUserCanceledErr;
    return result;
}

int16_t doContinue(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    RunState* run = &globals->run;
    // A Continue after the run has ended, or after a Start that failed before the source was in,
    // has nothing to render: it only tells the host again that the filter is done.
    if (!run->runTables || !run->sourceImported) {
        endRun(globals);
        return kNoErr;
    }
    bool canAdvance = record->advanceState != nullptr;
    startRunWorkers(run, globals->plan.threadCount);
    for (;;) {
        int16_t result = processNextRow(globals);
        if (result != kNoErr) {
            endRun(globals);
            return result;
        }
        requestRow(record, run->currentRow, run->filterHeight);
        if (!run->running) break;

        // Without advanceState the host delivers the requested row and calls again.
        if (!canAdvance) return kNoErr;
        result = record->advanceState();
        if (result != kNoErr) return result;
    }
    endRun(globals);
    return kNoErr;
}
