// The work queue: cuts a rectangle or an index range into strips, records each strip as a job
// that carries the function that runs it, and runs the jobs in index order. The pyramid build
// and the row renderer use it; jobs never enqueue jobs. It knows nothing of what its jobs do:
// this is the one place where a runner that spreads jobs over threads plugs in.
//
// The queue holds at most `capacity` jobs, so a piece of work becomes min(extent, capacity)
// strips; with the capacity of 1 every piece of work is one job covering all of it.
#pragma once

#include <cstdint>

#include "host/host_api.h"

struct JobRecord;

// Runs one job; the job's strip and context say what to do.
typedef void (*JobHandler)(const JobRecord* job);

// One job. Rectangle jobs fill rect; range jobs fill the strip and parameter. Fields a kind of
// job does not use keep whatever an earlier enqueue wrote there.
struct JobRecord {
    JobHandler handler;
    void* context;       // the caller's record, passed through to the handler
    int32_t stripFirst;  // this job's indices, inclusive (range jobs)
    int32_t stripLast;
    uint32_t parameter;  // passed through to the handler (the renderer's output row)
    Rect16 rect;         // this job's strip of the rectangle, bottom and right exclusive
    uint8_t reserved[60];
};
constexpr int32_t kJobRecordBytes = 96;  // the job array is obtained in records of this size
static_assert(sizeof(JobRecord) == kJobRecordBytes);

// The job array (working memory owned by the run) and how much of it holds jobs.
struct WorkQueue {
    JobRecord* jobs;
    int32_t count;     // jobs written by the last enqueue
    int32_t capacity;  // records the array holds
};

// Replaces the queue's jobs with strips covering rect: columns when the rectangle is not taller
// than wide, rows otherwise. An empty rectangle gives no jobs.
void enqueueRectJobs(WorkQueue* queue, Rect16 rect, JobHandler handler, void* context);

// Replaces the queue's jobs with strips covering the indices first .. last inclusive.
void enqueueRangeJobs(WorkQueue* queue, int32_t first, int32_t last, JobHandler handler, void* context,
                      uint32_t parameter);

// Runs jobs 0 .. count - 1 in order, each through its own handler.
void runJobs(const WorkQueue* queue);
