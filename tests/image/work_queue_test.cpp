// Tests of the work queue: the strips it cuts a rectangle or a range into, and that each job
// reaches the handler it was enqueued with, in order.
#include "image/work_queue.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

// What the handlers saw, job by job: a tag of the handler, then the job's strip.
struct Calls {
    std::vector<std::array<int32_t, 5>> seen;
};

template <int32_t Tag>
void recordJob(const JobRecord* job) {
    const Rect16& r = job->rect;
    auto* calls = static_cast<Calls*>(job->context);
    if (Tag == 0) calls->seen.push_back({Tag, job->stripFirst, job->stripLast, 0, 0});
    else calls->seen.push_back({Tag, r.top, r.left, r.bottom, r.right});
}

TEST(WorkQueue, WorkIsCutIntoStripsThatRunInOrderThroughTheirHandlers) {
    JobRecord jobs[3] = {};
    Calls calls;

    // With one job of capacity, as in every run, a job covers all of the work.
    WorkQueue one = {jobs, 0, 1, nullptr};
    enqueueRangeJobs(&one, -1, 99, recordJob<0>, &calls);
    runJobs(&one);
    enqueueRectJobs(&one, Rect16{10, 20, 50, 120}, recordJob<1>, &calls);
    runJobs(&one);
    EXPECT_EQ(calls.seen, (std::vector<std::array<int32_t, 5>>{{0, -1, 99, 0, 0}, {1, 10, 20, 50, 120}}));

    // With more room, ranges and rectangles are cut into strips at floor(extent * i / n):
    // columns of a rectangle that is not taller than wide, rows of one that is.
    calls.seen.clear();
    WorkQueue three = {jobs, 0, 3, nullptr};
    enqueueRangeJobs(&three, 0, 9, recordJob<0>, &calls);
    runJobs(&three);
    enqueueRectJobs(&three, Rect16{0, 0, 40, 40}, recordJob<1>, &calls);
    runJobs(&three);
    enqueueRectJobs(&three, Rect16{0, 0, 10, 2}, recordJob<1>, &calls);
    runJobs(&three);
    EXPECT_EQ(calls.seen, (std::vector<std::array<int32_t, 5>>{
                              {0, 0, 2, 0, 0}, {0, 3, 5, 0, 0}, {0, 6, 9, 0, 0},
                              {1, 0, 0, 40, 13}, {1, 0, 13, 40, 26}, {1, 0, 26, 40, 40},
                              {1, 0, 0, 3, 2}, {1, 3, 0, 6, 2}, {1, 6, 0, 10, 2}}));

    // Work smaller than the queue gets one job per index; empty work runs nothing.
    calls.seen.clear();
    enqueueRectJobs(&three, Rect16{4, 4, 4, 4}, recordJob<1>, &calls);
    EXPECT_EQ(three.count, 0);
    runJobs(&three);
    enqueueRangeJobs(&three, 7, 8, recordJob<0>, &calls);
    runJobs(&three);
    EXPECT_EQ(calls.seen, (std::vector<std::array<int32_t, 5>>{{0, 7, 7, 0, 0}, {0, 8, 8, 0, 0}}));
}

}  // namespace
