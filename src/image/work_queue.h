// The work queue: cuts a rectangle or an index range into strips, records each strip as a job
// that carries the function that runs it, and runs the jobs: on the calling thread in index
// order, or, when the queue has worker threads, spread over them and the calling thread. The
// pyramid build and the row blocks use it; jobs never enqueue jobs, and the jobs of one batch
// write disjoint parts of their output, so they may run in any order. It knows nothing of what
// its jobs do.
//
// The queue holds at most `capacity` jobs, so a piece of work becomes min(extent, capacity)
// strips; with the capacity of 1 every piece of work is one job covering all of it.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "platform/workers.h"

struct JobRecord;

// Runs one job; the job's strip and context say what to do.
typedef void (*JobHandler)(const JobRecord* job);

// One job, in the job array the run obtains as working memory. Rectangle jobs fill rect; range
// jobs fill the strip. Fields a kind of job does not use keep whatever an earlier enqueue wrote
// there.
struct JobRecord {
    JobHandler handler;
    void* context;       // the caller's record, passed through to the handler
    int32_t jobIndex;    // 0 .. the job count - 1: which strip of the work this is
    int32_t stripFirst;  // this job's indices, inclusive (range jobs)
    int32_t stripLast;
    uint8_t padding28[4];
    Rect16 rect;         // this job's strip of the rectangle, bottom and right exclusive
    uint8_t reserved[56];
};
// The job array is obtained in records of this size (88 bytes with 4-byte pointers).
constexpr int32_t kJobRecordBytes = sizeof(void*) == 8 ? 96 : 88;
static_assert(sizeof(JobRecord) == kJobRecordBytes);

// The job array (working memory owned by the run) and how much of it holds jobs.
struct WorkQueue {
    JobRecord* jobs;
    int32_t count;     // jobs written by the last enqueue
    int32_t capacity;  // records the array holds
    Workers* workers;  // threads to run a batch of several jobs on, or null
};

// Replaces the queue's jobs with strips covering rect: columns when the rectangle is not taller
// than wide, rows otherwise. An empty rectangle gives no jobs.
void enqueueRectJobs(WorkQueue* queue, Rect16 rect, JobHandler handler, void* context);

// Replaces the queue's jobs with strips covering the indices first .. last inclusive.
void enqueueRangeJobs(WorkQueue* queue, int32_t first, int32_t last, JobHandler handler, void* context);

// Runs jobs 0 .. count - 1, each through its own handler, and returns when all have returned.
void runJobs(WorkQueue* queue);
