// Start and Continue. Start obtains the run's working buffers, reads the whole source area from
// the host tile by tile into the source image, builds its pyramid, prepares the render lanes and
// asks for output row 0. Continue then hands the rows over from top to bottom, each into the
// host's output row, fetching the next through advanceState, with progress reports and cancel
// polls on every 32nd row; the rows are rendered ahead in blocks, on every thread the run has.
// When the rows are done, or on cancel or error, it releases the working memory and empties the
// rectangles. Worker threads run only inside a Start or Continue call.
#include "run/run_driver.h"

#include <algorithm>
#include <cstring>

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

constexpr int16_t kRunRefused = 1;
constexpr int16_t kRunBuffersMissing = 3;
constexpr int16_t kSourceNotCreated = 999;
constexpr int32_t kThrottlePeriod = 32;
constexpr int32_t kProgressJump = 5;

static int32_t requestedThreads = 0;  // set by the front end; 0 for every hardware thread

void setRunThreads(int32_t threads) { requestedThreads = threads; }

int32_t runThreadCount() {
    int32_t threads = requestedThreads > 0 ? requestedThreads : hardwareThreads();
    return std::clamp(threads, 1, kMaxThreads);
}

void startRunWorkers(PluginGlobals* globals) {
    if (!globals->runTables || globals->threadCount < 2) return;
    Workers* workers = &globals->runTables->workers;
    globals->queue.workers = startWorkers(workers, globals->threadCount) > 1 ? workers : nullptr;
}

// Only workers this call started are stopped: between calls the run tables may be gone, left
// to the host by a run that ended in an error, and the host may have freed them.
void stopRunWorkers(PluginGlobals* globals) {
    if (globals->queue.workers) stopWorkers(globals->queue.workers);
    globals->queue.workers = nullptr;
}

bool allocateRunBuffers(PluginGlobals* globals) {
    forgetRunBuffers(globals);
    const BufferProcs* procs = globals->filterRecord->bufferProcs;
    int32_t lanes = std::clamp(globals->threadCount, 1, kMaxThreads);

    int32_t rowRecords = rowRecordsFor(globals->workWidth, globals->workHeight, lanes);
    globals->rowRecords = static_cast<ColumnRecord*>(
        allocateWorkMemory(rowRecords * kColumnRecordBytes, &globals->rowRecordsBufferId, procs));
    globals->rowRecordCount = globals->rowRecords ? rowRecords : 0;
    globals->queue.jobs = static_cast<JobRecord*>(
        allocateWorkMemory(lanes * kJobRecordBytes, &globals->jobsBufferId, procs));
    globals->queue.count = 0;
    globals->queue.capacity = lanes;
    globals->queue.workers = nullptr;
    globals->runTables = static_cast<RunTables*>(
        allocateWorkMemory(kRunTablesBytes, &globals->runTablesBufferId, procs));
    if (globals->runTables) memset(&globals->runTables->workers, 0, sizeof(Workers));

    if (!globals->rowRecords || !globals->queue.jobs || !globals->runTables) {
        freeRunBuffers(globals);
        setResultCode(globals, kRunBuffersMissing);
        clearHostRects(globals);
        return false;
    }
    return true;
}

void freeRunBuffers(PluginGlobals* globals) {
    const BufferProcs* procs = globals->filterRecord->bufferProcs;
    stopRunWorkers(globals);
    freeWorkMemory(&globals->blockRows, &globals->blockRowsBufferId, procs);
    freeWorkMemory(&globals->rowRecords, &globals->rowRecordsBufferId, procs);
    freeWorkMemory(&globals->queue.jobs, &globals->jobsBufferId, procs);
    freeWorkMemory(&globals->runTables, &globals->runTablesBufferId, procs);
    globals->rowRecordCount = 0;
    globals->queue.count = 0;
    freeImageBuffer(&globals->sourceImage);
    freeImageBuffer(&globals->mapGrid);
}

// Releases everything the run holds and tells the host the filter is done.
static void endRun(PluginGlobals* globals) {
    freeRunBuffers(globals);
    clearHostRects(globals);
}

static int16_t advanceHost(PluginGlobals* globals) {
    int16_t result = globals->filterRecord->advanceState();
    setResultCode(globals, result);
    return result;
}

void reportProgress(PluginGlobals* globals, int32_t done, int32_t total) {
    RunTables* tables = globals->runTables;
    tables->progressCounter %= kThrottlePeriod;
    // A large jump reports at once; the difference is taken wide, as the last value starts as
    // whatever the block held.
    if (int64_t{done} - tables->lastProgress >= kProgressJump) tables->progressCounter = 0;
    ProgressProc progress = globals->filterRecord->progressProc;
    if ((tables->progressCounter == 0 || done == 0) && progress) progress(done, total);
    tables->progressCounter++;
    tables->lastProgress = done;
}

bool testAbort(PluginGlobals* globals) {
    RunTables* tables = globals->runTables;
    tables->cancelPollCounter = (tables->cancelPollCounter % kThrottlePeriod + 1) % kThrottlePeriod;
    TestAbortProc abortProc = globals->filterRecord->abortProc;
    return tables->cancelPollCounter == 0 && abortProc && abortProc();
}

void importSource(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    ImageBuffer* source = &globals->sourceImage;
    const Rect16& saved = globals->savedFilterRect;
    if (!createImageBuffer(source, rectWidth(saved), rectHeight(saved), globals->format.sourceImageMode,
                           kWrapClamp, false)) {
        setResultCode(globals, kSourceNotCreated);
        return;
    }

    // One request and one advanceState per tile of level 0, row by row; the first host error
    // ends the import.
    for (uint32_t t = source->levelFirstTile[0]; t <= source->levelLastTile[0]; t++) {
        requestTile(globals, tileRect(source, static_cast<int32_t>(t)));
        if (advanceHost(globals) != kNoErr) return;
        convertTile(source, &globals->format, record, static_cast<int32_t>(t));
    }
    buildPyramid(source, &globals->queue);
    reportProgress(globals, 1, 100);
    parameterBlock(globals)->sourceImported = 1;
    requestWholeArea(globals);
}

void prepareRows(PluginGlobals* globals) {
    // The buffer plan always leaves two column records beyond each side of a row, per lane.
    int32_t lanes = globals->queue.capacity;
    int32_t laneRecords = globals->workWidth + 4;
    VELORUND_CHECK(lanes >= 1 && lanes <= kMaxThreads && globals->rowRecordCount >= lanes * laneRecords);
    buildWeightTable(&globals->runTables->weightTable);

    // Both corner-line slots start outside the disc at the missing position.
    for (int32_t x = 0; x < globals->workWidth + 2; x++) {
        for (MapResult& slot : globals->rowRecords[x].mapSlot) {
            slot.status = kMapOutsideDisc;
            slot.s = kMissingPosition;
            slot.t = kMissingPosition;
        }
    }

    // A lane per thread, each with column records of its own.
    const FilterParameters* block = parameterBlock(globals);
    RenderLane* laneRecords0 = globals->runTables->lanes;
    for (int32_t i = 0; i < lanes; i++) {
        setupRenderLane(&laneRecords0[i], &globals->sourceImage, &globals->mapGrid,
                        globals->rowRecords + i * laneRecords, globals->workWidth,
                        static_cast<int32_t>(block->areaScale), block->areaOffsetX, block->areaOffsetY);
    }

    // The block of rows rendered ahead, in the host's sample layout. Its level of detail is
    // what the last run left.
    const OutputFormat& format = globals->format.output;
    int32_t sampleBytes = format.sample == kOutputInt8 ? 1 : format.sample == kOutputInt16 ? 2 : 4;
    RowBlock* rows = &globals->rowBlock;
    rows->lanes = laneRecords0;
    rows->laneCount = lanes;
    rows->queue = &globals->queue;
    rows->rowBytes = static_cast<size_t>(globals->filterWidth) * std::max<int32_t>(format.planes, 1) * sampleBytes;
    rows->passHeight = globals->workHeight;
    rows->output = {nullptr, globals->filterWidth, 0, format};
    rows->first = 0;
    rows->count = 0;

    // The rows live in the row-record buffer past the lanes' records: its plan holds far more
    // records than a lane or two use, so the run needs no more memory than one lane did. Strips
    // are as long as that room allows, up to kRowsPerStrip rows; only lanes that leave no room
    // for a row each get a buffer of their own.
    size_t spare = static_cast<size_t>(globals->rowRecordCount - lanes * laneRecords) * kColumnRecordBytes;
    size_t fit = spare / (rows->rowBytes * lanes);
    rows->rowsPerStrip = fit >= 1 ? static_cast<int32_t>(std::min<size_t>(fit, kRowsPerStrip)) : kRowsPerStrip;
    rows->capacity = std::min(globals->workHeight, lanes * rows->rowsPerStrip);
    if (fit >= 1) {
        rows->rows = reinterpret_cast<uint8_t*>(globals->rowRecords + lanes * laneRecords);
    } else {
        globals->blockRows = static_cast<uint8_t*>(allocateWorkMemory(
            static_cast<int32_t>(rows->rowBytes) * rows->capacity, &globals->blockRowsBufferId,
            globals->filterRecord->bufferProcs));
        rows->rows = globals->blockRows;
        if (!globals->blockRows) {
            setResultCode(globals, kMemFullErr);
            return;
        }
    }

    // Every row is still to come.
    globals->currentRow = 0;
    globals->progressDone = 0;
    globals->progressTotal = globals->workHeight;
    globals->running = 1;
}

void startProcessing(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    FilterParameters* block = parameterBlock(globals);
    block->areaOffsetX = 0;
    block->areaOffsetY = 0;
    setRect(&globals->wholeAreaLimit, 0, 0, kTileSize, kTileSize);

    if (!block->sourceImported) importSource(globals);
    record->filterRect = globals->savedFilterRect;
    setWorkArea(globals, record->filterRect, 1);
    if (resultCode(globals) != kNoErr) return;

    prepareRows(globals);
    if (resultCode(globals) != kNoErr) return;
    requestRow(globals);
    advanceHost(globals);
}

void doStart(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    validateParameters(globals);

    // The source is fetched tile by tile through advanceState: a host without it is refused
    // before anything is allocated.
    if (!record->advanceState) {
        setResultCode(globals, kRunRefused);
        clearHostRects(globals);
        return;
    }

    setAdvanceAndDisplayFlag(globals);
    if (!allocateRunBuffers(globals) || resultCode(globals) != kNoErr) {
        setResultCode(globals, kRunRefused);
        return;
    }

    initialiseRun(globals);
    globals->filterWidth = rectWidth(record->filterRect);
    globals->filterHeight = rectHeight(record->filterRect);

    if (record->imageMode == kModeMultichannel) {
        showMessageDialog("REFUSAL3");
        setResultCode(globals, kRunRefused);
    }
    if (resultCode(globals) != kNoErr) {
        endRun(globals);
        return;
    }

    FilterParameters* block = parameterBlock(globals);
    block->parametersRequested = 0;
    block->outputMode = 0;
    globals->format = documentFormat(record, block->outputMode == 1);
    startRunWorkers(globals);
    startProcessing(globals);
}

// Hands one row to the host's output row, which the host must have handed over, rendering the
// block of rows it starts first when the block ahead does not hold it.
static void handOverRow(PluginGlobals* globals, int32_t row) {
    const FilterRecord* record = globals->filterRecord;
    if (!record->inData || !record->outData) {
        setResultCode(globals, kMemFullErr);
        return;
    }
    RowBlock* block = &globals->rowBlock;
    if (row < block->first || row >= block->first + block->count) {
        // The map grid is built here, on this thread, before any lane maps through it.
        for (int32_t i = 0; i < block->laneCount; i++) readyRenderLane(&block->lanes[i]);
        renderRowBlock(block, row);
    }
    copyOutputRow(block->output.format, rowOfBlock(block, row), static_cast<uint8_t*>(record->outData),
                  globals->filterWidth);
}

void processNextRow(PluginGlobals* globals) {
    reportProgress(globals, globals->progressDone, globals->progressTotal);
    globals->progressDone++;

    handOverRow(globals, globals->currentRow);
    if (globals->currentRow == globals->workHeight - 1) {
        globals->running = 0;
        globals->currentRow = 0;
    } else {
        globals->currentRow++;
    }

    if (testAbort(globals)) setResultCode(globals, kUserCanceledErr);
}

void doContinue(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    // A Continue after the run has ended, or after a Start that failed before the source was in,
    // has nothing to render: it only tells the host again that the filter is done.
    if (!globals->runTables || !parameterBlock(globals)->sourceImported) {
        endRun(globals);
        return;
    }
    bool canAdvance = record->advanceState != nullptr;
    startRunWorkers(globals);
    for (;;) {
        processNextRow(globals);
        if (resultCode(globals) != kNoErr) {
            globals->running = 0;
        } else {
            requestRow(globals);
        }
        if (!globals->running) break;

        // Without advanceState the host delivers the requested row and calls again.
        if (!canAdvance || advanceHost(globals) != kNoErr) return;
    }
    endRun(globals);
}
