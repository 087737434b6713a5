// The work queue: strip arithmetic, the job records it writes, and the dispatch of each job code
// to the pyramid reduction or the renderer. Jobs run synchronously, one after another.
#include "image/work_queue.h"

#include <algorithm>

#include "image/pyramid.h"
#include "warp/render_jobs.h"

namespace {

// Boundary i of n strips over an extent: floor(extent * i / n), with the quotient formed in
// float and a negative quotient lowered by one before it is truncated.
int64_t stripBoundary(int64_t extent, int32_t i, int32_t n) {
    float quotient = static_cast<float>(extent) * static_cast<float>(i) / static_cast<float>(n);
    if (quotient < 0.0f) quotient -= 1.0f;
    return static_cast<int64_t>(quotient);
}

// Strips an extent is cut into, and the job count the queue records: the extent itself when it
// is below the capacity, so an empty or negative extent gives a count below 1 and no jobs. A
// globals block without a job array holds no jobs at all.
int32_t startJobs(PluginGlobals* globals, int64_t extent) {
    int64_t count = std::clamp<int64_t>(extent, INT32_MIN, kJobCapacity);
    globals->jobCount = globals->jobs ? static_cast<int32_t>(count) : 0;
    return globals->jobCount;
}

// The fields every job records whatever its kind.
void fillJob(JobRecord* record, int32_t index, int32_t count, int32_t code, PluginGlobals* globals,
             void* context, uint64_t extra) {
    record->jobIndex = index;
    record->jobCount = count;
    record->code = code;
    record->owner = globals;
    record->extra = extra;
    record->context = context;
}

}  // namespace

void enqueueRectJobs(Rect16 rect, int32_t code, PluginGlobals* globals, void* context,
                     uint64_t extra) {
    if (!globals) return;

    // Taller than wide: strips of rows; otherwise, ties included, strips of columns.
    int32_t width = rect.right - rect.left;
    int32_t height = rect.bottom - rect.top;
    bool rowStrips = height > width;
    int32_t extent = rowStrips ? height : width;

    int32_t n = startJobs(globals, extent);
    for (int32_t i = 0; i < n; i++) {
        JobRecord* record = &globals->jobs[i];
        int64_t from = stripBoundary(extent, i, n);
        int64_t to = stripBoundary(extent, i + 1, n);
        record->rect = rect;
        if (rowStrips) {
            record->rect.top = static_cast<int16_t>(rect.top + from);
            record->rect.bottom = static_cast<int16_t>(rect.top + to);
        } else {
            record->rect.left = static_cast<int16_t>(rect.left + from);
            record->rect.right = static_cast<int16_t>(rect.left + to);
        }
        fillJob(record, i, n, code, globals, context, extra);
    }
}

void enqueueRangeJobs(int32_t first, int32_t last, int32_t code, PluginGlobals* globals,
                      void* context, uint32_t parameter, uint64_t extra) {
    if (!globals) return;
    int64_t extent = static_cast<int64_t>(last) - first + 1;

    int32_t n = startJobs(globals, extent);
    for (int32_t i = 0; i < n; i++) {
        JobRecord* record = &globals->jobs[i];
        record->stripFirst = static_cast<int32_t>(first + stripBoundary(extent, i, n));
        record->stripLast = static_cast<int32_t>(first - 1 + stripBoundary(extent, i + 1, n));
        record->rangeFirst = first;
        record->rangeLast = last;
        record->parameter = parameter;
        fillJob(record, i, n, code, globals, context, extra);
    }
}

void runJobs(PluginGlobals* globals) {
    if (!globals || !globals->jobs) return;
    int32_t count = std::min(globals->jobCount, kJobCapacity);
    for (int32_t i = 0; i < count; i++) {
        JobRecord* record = &globals->jobs[i];
        record->status = kJobStarted;
        if (!dispatchJob(record, record->code)) runRenderJob(record, record->code);
    }
}

bool dispatchJob(JobRecord* record, int32_t code) {
    if (code != kJobReduceLevel) return false;
    const PyramidJobContext* context = static_cast<const PyramidJobContext*>(record->context);
    if (context) reduceLevel(context->buffer, context->level, &record->rect);
    return true;
}
