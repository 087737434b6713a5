// The renderer's job entry: the work queue hands it every job whose code the image side does not
// handle. The renderer cuts each output row into spans of columns and runs them as range jobs.
#pragma once

#include <cstdint>

struct JobRecord;

constexpr int32_t kJobMapCornerLine = 0;  // map the bottom corner line of a span of columns
constexpr int32_t kJobRenderSpan = 1;     // render the output pixels of a span of columns

// Runs one renderer job; codes other than the two above are ignored.
void runRenderJob(JobRecord* record, int32_t code);
