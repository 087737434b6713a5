// The work queue: cuts a rectangle or an index range into strips, records each strip as a job
// with a job code, and runs the jobs in index order on the calling thread, routing each code to
// its handler. The pyramid build and the row renderer use it; jobs never enqueue jobs.
#pragma once

#include <cstdint>

#include "host/globals.h"
#include "host/host_api.h"

// One job. Rectangle jobs fill rect; range jobs fill the strip and range fields and parameter.
// Fields a kind of job does not use keep whatever an earlier enqueue wrote there.
struct JobRecord {
    int32_t jobCount;    // jobs made by the enqueue that wrote this record
    int32_t jobIndex;    // 0 .. jobCount - 1
    int32_t stripFirst;  // this job's indices, inclusive
    int32_t stripLast;
    int32_t rangeFirst;  // the whole range's indices, inclusive
    int32_t rangeLast;
    int32_t code;        // selects the handler
    int32_t status;      // -1 once the job has been started
    Rect16 rect;         // this job's strip of the rectangle, bottom and right exclusive
    PluginGlobals* owner;
    uint32_t parameter;  // passed through to the handler (the renderer's output row)
    uint64_t extra;      // passed through to the handler
    void* context;       // the caller's record, passed through to the handler
    uint8_t reserved[24];
};
static_assert(sizeof(JobRecord) == kJobRecordBytes, "the job array is sized in 96-byte records");

constexpr int32_t kJobStarted = -1;

// Replaces the queue's jobs with strips covering rect: columns when the rectangle is not taller
// than wide, rows otherwise. jobCount gets the strip count even when it is 0 or negative (an
// empty rectangle), and then no record is written; without a job array it gets 0.
void enqueueRectJobs(Rect16 rect, int32_t code, PluginGlobals* globals, void* context,
                     uint64_t extra);

// Replaces the queue's jobs with strips covering the indices first .. last inclusive, with the
// same rule for the job count.
void enqueueRangeJobs(int32_t first, int32_t last, int32_t code, PluginGlobals* globals,
                      void* context, uint32_t parameter, uint64_t extra);

// Runs jobs 0 .. jobCount - 1 in order, each marked started and then dispatched; codes the
// image side does not handle go to the renderer's job entry.
void runJobs(PluginGlobals* globals);

// Runs a job whose code the image side handles and reports whether it did.
bool dispatchJob(JobRecord* record, int32_t code);
