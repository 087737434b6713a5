// The renderer's job entry. Corner-line mapping (kJobMapCornerLine) and span rendering
// (kJobRenderSpan) are run from here once the row renderer exists; every other code is ignored.
#include "warp/render_jobs.h"

void runRenderJob(JobRecord* /*record*/, int32_t /*code*/) {}
