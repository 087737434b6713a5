// The renderer's job entry: the work queue hands it every job whose code the image side does not
// handle. The renderer runs each corner line and each row's pixels as range jobs over columns;
// the job's context is the RenderLane and its parameter the output row.
#pragma once

#include <cstdint>

struct JobRecord;

constexpr int32_t kJobMapCornerLine = 0;  // map the bottom corner line of a span of columns
constexpr int32_t kJobRenderSpan = 1;     // render the output pixels of a span of columns

// Runs one renderer job; codes other than the two above are ignored.
void runRenderJob(JobRecord* record, int32_t code);
