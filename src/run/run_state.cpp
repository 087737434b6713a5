// The run's working memory: obtained at Start, released when the run ends, forgotten when the
// host may have freed it; and the worker threads that live in it for the length of a call.
#include "run/run_state.h"

#include <algorithm>
#include <cstring>

#include "host/work_memory.h"
#include "run/parameters.h"
#include "run/run_tables.h"

bool allocateRunBuffers(RunState* run, const RunPlan& plan, const BufferProcs* procs) {
    forgetRunBuffers(run);
    int32_t lanes = std::clamp(plan.threadCount, 1, kMaxThreads);

    int32_t rowRecords = rowRecordsFor(plan.workWidth, plan.workHeight, lanes);
    run->rowRecords = static_cast<ColumnRecord*>(
        allocateWorkMemory(rowRecords * kColumnRecordBytes, &run->rowRecordsBufferId, procs));
    run->rowRecordCount = run->rowRecords ? rowRecords : 0;
    run->queue = {static_cast<JobRecord*>(allocateWorkMemory(lanes * kJobRecordBytes, &run->jobsBufferId, procs)),
                  0, lanes, nullptr};
    run->runTables = static_cast<RunTables*>(allocateWorkMemory(kRunTablesBytes, &run->runTablesBufferId, procs));
    if (!run->rowRecords || !run->queue.jobs || !run->runTables) {
        freeRunBuffers(run, procs);
        return false;
    }

    // The throttles, the weight table's room, the workers and the lanes start from zero,
    // whatever the host's new buffer held.
    memset(run->runTables, 0, kRunTablesBytes);
    return true;
}

void obtainMapGrid(RunState* run, const BufferProcs* procs) {
    run->mapGrid = static_cast<MapGrid*>(allocateWorkMemory(sizeof(MapGrid), &run->mapGridBufferId, procs));
    if (run->mapGrid) buildMapGrid(run->mapGrid);
}

void freeRunBuffers(RunState* run, const BufferProcs* procs) {
    stopRunWorkers(run);
    freeWorkMemory(&run->blockRows, &run->blockRowsBufferId, procs);
    freeWorkMemory(&run->rowRecords, &run->rowRecordsBufferId, procs);
    freeWorkMemory(&run->queue.jobs, &run->jobsBufferId, procs);
    freeWorkMemory(&run->runTables, &run->runTablesBufferId, procs);
    run->rowRecordCount = 0;
    run->queue.count = 0;
    freeImageBuffer(&run->source);
    freeWorkMemory(&run->mapGrid, &run->mapGridBufferId, procs);
}

void forgetRunBuffers(RunState* run) {
    // Released without the host's suite: global memory is given back, a host buffer only
    // forgotten.
    freeWorkMemory(&run->blockRows, &run->blockRowsBufferId, nullptr);
    freeWorkMemory(&run->rowRecords, &run->rowRecordsBufferId, nullptr);
    freeWorkMemory(&run->queue.jobs, &run->jobsBufferId, nullptr);
    freeWorkMemory(&run->runTables, &run->runTablesBufferId, nullptr);
    abandonImageBuffer(&run->source, nullptr, nullptr);
    freeWorkMemory(&run->mapGrid, &run->mapGridBufferId, nullptr);
}

void startRunWorkers(RunState* run, int32_t threadCount) {
    if (!run->runTables || threadCount < 2) return;
    Workers* workers = &run->runTables->workers;
    run->queue.workers = startWorkers(workers, threadCount) > 1 ? workers : nullptr;
}

// Only workers this call started are stopped: between calls the run tables may be gone, left
// to the host by a run that ended in an error, and the host may have freed them.
void stopRunWorkers(RunState* run) {
    if (run->queue.workers) stopWorkers(run->queue.workers);
    run->queue.workers = nullptr;
}
