// Tests of the work queue: the job it records for a rectangle or a range, empty work, and which
// handler each job code reaches when the jobs run.
#include "image/work_queue.h"

#include <gtest/gtest.h>

#include <array>

#include "image/pyramid.h"
#include "../sampling/test_images.h"
#include "warp/render_jobs.h"
#include "warp/renderer.h"

namespace {

struct Queue {
    JobRecord job{};
    PluginGlobals globals{};
    Queue() { globals.jobs = &job; }
};

TEST(WorkQueue, WorkBecomesOneJobCoveringItAndEmptyWorkRunsNothing) {
    Queue q;
    const JobRecord& j = q.job;
    int context = 0;
    for (Rect16 r : {Rect16{10, 20, 50, 120}, Rect16{-5, 3, 95, 43}}) {  // wide, then tall
        enqueueRectJobs(r, 7, &q.globals, &context, 99);
        EXPECT_EQ((std::array<int, 8>{q.globals.jobCount, j.jobCount, j.jobIndex, j.code,
                                      j.rect.top, j.rect.left, j.rect.bottom, j.rect.right}),
                  (std::array<int, 8>{1, 1, 0, 7, r.top, r.left, r.bottom, r.right}));
        EXPECT_TRUE(j.owner == &q.globals && j.context == &context && j.extra == 99);
    }
    enqueueRangeJobs(-1, 99, 1, &q.globals, &context, 12, 5);
    EXPECT_EQ((std::array<int64_t, 7>{q.globals.jobCount, j.stripFirst, j.stripLast,
                                      j.rangeFirst, j.rangeLast, j.parameter,
                                      static_cast<int64_t>(j.extra)}),
              (std::array<int64_t, 7>{1, -1, 99, -1, 99, 12, 5}));

    // Empty or negative work records its count and runs nothing; so does a queue without jobs.
    q.job.status = 5;
    enqueueRectJobs({4, 4, 4, 4}, 1, &q.globals, nullptr, 0);
    EXPECT_EQ(q.globals.jobCount, 0);
    enqueueRangeJobs(5, 2, 1, &q.globals, nullptr, 0, 0);
    EXPECT_EQ(q.globals.jobCount, -2);
    enqueueRectJobs({10, 10, 5, 0}, 1, &q.globals, nullptr, 0);  // 5 rows by -10 columns
    EXPECT_EQ(q.globals.jobCount, -5);
    runJobs(&q.globals);
    EXPECT_EQ(q.job.status, 5);
    q.globals.jobs = nullptr;
    enqueueRangeJobs(0, 9, 1, &q.globals, nullptr, 0, 0);
    runJobs(&q.globals);
    EXPECT_EQ(q.globals.jobCount, 0);
}

TEST(WorkQueue, EachCodeReachesOnlyItsOwnHandler) {
    Queue q;
    ImageBuffer b{}, noGrid{};
    resetImageBuffer(&b, &q.globals, nullptr, sharedWeightTable());
    ASSERT_TRUE(createImageBuffer(&b, 2, 2, kImageGray8, kWrapClamp, false));
    for (int32_t i = 0; i < 4; i++) setPixel(i & 1, i >> 1, &b, 0, 200, 0, 0, 0);

    // A renderer lane over the 2 x 2 image; its colour words start poisoned.
    ColumnRecord columns[3] = {};
    for (ColumnRecord& c : columns) c.colour[3] = -7.0f;
    RenderLane lane{};
    lane.source = &b;
    lane.columns = columns;
    lane.step = 1;
    lane.mapGrid = &noGrid;
    PyramidJobContext pyramid = {&b, 0};

    auto run = [&](int32_t code) {
        q.job.status = 0;
        if (code == kJobReduceLevel) {
            enqueueRectJobs({0, 0, 1, 1}, code, &q.globals, &pyramid, 0);
        } else {
            enqueueRangeJobs(0, 0, code, &q.globals, &lane, 0, 0);
        }
        runJobs(&q.globals);
        EXPECT_EQ(q.job.status, kJobStarted);
        EXPECT_EQ(dispatchJob(&q.job, code), code == kJobReduceLevel);
    };

    // Corner mapping writes the corner at column 0, row 0 (the image centre); span rendering
    // writes pixel 0's colour; an unknown code does nothing; only the reduction fills level 1.
    run(kJobMapCornerLine);
    EXPECT_EQ(columns[1].mapSlot[0].status, kMapMapped);
    EXPECT_EQ(columns[0].colour[3], -7.0f);
    run(kJobRenderSpan);
    EXPECT_NE(columns[0].colour[3], -7.0f);
    run(5);
    EXPECT_EQ(getPixel1(0, 0, &b, 1), 0u);
    run(kJobReduceLevel);
    EXPECT_EQ(getPixel1(0, 0, &b, 1), 201u);  // the 8-bit reduction drifts up by one
    freeImageBuffer(&b);
}

}  // namespace
