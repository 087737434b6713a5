// The work queue: strip arithmetic, the job records it writes, and the run of a batch.
#include "image/work_queue.h"

#include <algorithm>

#include "platform/check.h"

namespace {

// Boundary i of n strips over an extent: floor(extent * i / n), with the quotient formed in
// float.
int32_t stripBoundary(int32_t extent, int32_t i, int32_t n) {
    float quotient = static_cast<float>(extent) * static_cast<float>(i) / static_cast<float>(n);
    return static_cast<int32_t>(quotient);
}

// The strips an extent is cut into: the extent itself when it is below the capacity.
int32_t startJobs(WorkQueue* queue, int32_t extent) {
    VELORUND_CHECK(queue->jobs && queue->capacity > 0 && extent >= 0);
    queue->count = std::min(extent, queue->capacity);
    return queue->count;
}

}  // namespace

void enqueueRectJobs(WorkQueue* queue, Rect16 rect, JobHandler handler, void* context) {
    // Taller than wide: strips of rows; otherwise, ties included, strips of columns.
    int32_t width = rect.right - rect.left;
    int32_t height = rect.bottom - rect.top;
    bool rowStrips = height > width;
    int32_t extent = std::max(rowStrips ? height : width, 0);

    int32_t n = startJobs(queue, extent);
    for (int32_t i = 0; i < n; i++) {
        JobRecord* job = &queue->jobs[i];
        int32_t from = stripBoundary(extent, i, n);
        int32_t to = stripBoundary(extent, i + 1, n);
        job->rect = rect;
        if (rowStrips) {
            job->rect.top = static_cast<int16_t>(rect.top + from);
            job->rect.bottom = static_cast<int16_t>(rect.top + to);
        } else {
            job->rect.left = static_cast<int16_t>(rect.left + from);
            job->rect.right = static_cast<int16_t>(rect.left + to);
        }
        job->jobIndex = i;
        job->handler = handler;
        job->context = context;
    }
}

void enqueueRangeJobs(WorkQueue* queue, int32_t first, int32_t last, JobHandler handler, void* context) {
    int32_t extent = last - first + 1;
    int32_t n = startJobs(queue, extent);
    for (int32_t i = 0; i < n; i++) {
        JobRecord* job = &queue->jobs[i];
        job->stripFirst = first + stripBoundary(extent, i, n);
        job->stripLast = first - 1 + stripBoundary(extent, i + 1, n);
        job->jobIndex = i;
        job->handler = handler;
        job->context = context;
    }
}

static void runJob(void* queue, int32_t index) {
    JobRecord* job = &static_cast<WorkQueue*>(queue)->jobs[index];
    job->handler(job);
}

void runJobs(WorkQueue* queue) {
    if (queue->workers && queue->count > 1) {
        runOnWorkers(queue->workers, runJob, queue, queue->count);
        return;
    }
    for (int32_t i = 0; i < queue->count; i++) runJob(queue, i);
}
