// Every host call of whole runs made to fail, one at a time, on every kind of document and at one
// and two threads: each failure must end the run with the code the module's failure table gives
// for its step, leave working memory with the host only where the table says so (and then
// exactly what the module held), and the next run in the same loaded module must give the right
// image and leave nothing behind. Under the sanitizers the walk takes a sample: for each document
// and thread count, the first call of each kind in each selector for each row of the failure table.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <tuple>

#include "hostapp/testing/fault_walk.h"
#include "image/image_buffer.h"
#include "pinned_runs.h"
#include "run/dispatcher.h"
#include "support/global_memory_hooks.h"
#include "support/sanitizers.h"

using namespace hostapp;

namespace {

constexpr int16_t kHostError = -25;  // what the failing advanceState returns

struct Expected {
    int16_t result;
    int16_t endedAt;  // -1: the run completed
    bool leftToHost;  // the module's host buffers stay for the host to free
    bool rectsEmpty;  // the module emptied the rectangles itself
};

// Host buffers of an image buffer of this size and layout: its tile table and one per tile.
int32_t imageBlocks(int32_t width, int32_t height, ImageMode mode) {
    ImageBuffer image;
    resetImageBuffer(&image, nullptr, nullptr);
    createImageBuffer(&image, width, height, mode);
    int32_t blocks = 1 + image.tileCount;
    freeImageBuffer(&image);
    return blocks;
}

// The failure table. Start obtains the run buffers (3), the map grid, the source image, and
// after the import the block of rows rendered ahead; Continue obtains no memory.
Expected expectedOf(const FaultRun& run, const Document& doc) {
    const int16_t selector = run.selector;
    switch (run.fault.call) {
        case HostCall::NewHandle: return {kMemFullErr, selector, false, false};
        case HostCall::LockHandle: return {kMemFullErr, selector, selector == kSelectorContinue, false};
        case HostCall::AdvanceState: return {kHostError, selector, true, false};
        case HostCall::Abort: return {kUserCanceledErr, kSelectorContinue, false, true};
        default: break;
    }
    EXPECT_EQ(selector, kSelectorStart);
    const Rect16 filter = filterRectOf(doc);
    const ImageMode mode = doc.bitDepth == 8 ? ImageMode::Rgba8 : doc.bitDepth == 16 ? ImageMode::Rgba16 : ImageMode::RgbaFloat;
    const int32_t runBuffers = 3;
    const int32_t grid = runBuffers + 1;
    const int32_t sourceImage = grid + imageBlocks(filter.right - filter.left, filter.bottom - filter.top, mode);
    if (run.allocation <= runBuffers) return {1, kSelectorStart, false, true};
    if (run.allocation <= grid) return {kNoErr, -1, false, true};  // the disc shows the source's centre
    if (run.allocation <= sourceImage) return {999, kSelectorStart, true, false};
    return {kMemFullErr, kSelectorStart, true, false};  // the rows rendered ahead
}

struct WalkCase {
    int32_t width, height, depth;
    ColourModel model;
    bool layer, selection;
    bool bufferSuite;  // false: all working memory from the system
};

// One tile and several, every depth, gray and RGB, flat and layer, with and without a selection.
const WalkCase kCases[] = {
    {40, 37, 8, ColourModel::Gray, false, false, true}, {47, 41, 8, ColourModel::Rgb, true, true, true},
    {600, 36, 16, ColourModel::Gray, true, false, true}, {44, 40, 16, ColourModel::Rgb, false, true, true},
    {39, 45, 32, ColourModel::Gray, false, true, true},  {36, 34, 32, ColourModel::Rgb, true, false, true},
    {42, 38, 8, ColourModel::Rgb, true, false, false},
};

}  // namespace

TEST(FaultInjection, EveryHostCallThatFailsEndsTheRunAsTheFailureTableSays) {
    int32_t runs = 0, faults = 0;
    for (int32_t threads : {1, 2}) {
        setRunThreads(threads);
        for (const WalkCase& c : kCases) {
            Document doc = makeDocument(c.width, c.height, c.depth, c.model, c.layer);
            pinned::fillPattern(doc);
            doc.hasSelection = c.selection;
            doc.selection = Rect16{3, 2, static_cast<int16_t>(c.height - 1), static_cast<int16_t>(c.width - 4)};
            HostSettings settings;
            settings.advanceError = kHostError;
            settings.buffers.offered = c.bufferSuite;
            std::set<std::tuple<HostCall, int16_t, int16_t, int16_t, bool, bool>> rows;
            auto firstOfItsRow = [&](const FaultRun& run) {
                const Expected e = expectedOf(run, doc);
                return rows.insert({run.fault.call, run.selector, e.result, e.endedAt, e.leftToHost, e.rectsEmpty}).second;
            };
            FaultWalk walk = walkFaults(PluginMain, doc, settings, {globalMemoryLiveBlocks, globalMemoryLimitAllocations},
                                        kUnderSanitizers ? firstOfItsRow : std::function<bool(const FaultRun&)>());
            ASSERT_EQ(walk.recorded.result, kNoErr);
            for (const FaultRun& run : walk.faults) {
                SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << c.depth << "-bit, "
                                                << threads << " threads: call kind " << static_cast<int>(run.fault.call)
                                                << " number " << run.fault.at << " in selector " << run.selector);
                const Expected want = expectedOf(run, doc);
                EXPECT_EQ(run.outcome.result, want.result);
                EXPECT_EQ(run.outcome.endedAt, want.endedAt);
                EXPECT_EQ(run.outcome.buffersLeftBehind > 0, want.leftToHost && c.bufferSuite);
                // Global memory goes back at once, or at the next run when the module could not
                // reach its globals.
                bool unreachable = run.fault.call == HostCall::LockHandle;
                EXPECT_EQ(run.fallbackHeld > 0, want.leftToHost && !c.bufferSuite && unreachable);
                EXPECT_EQ(run.outcome.buffersLeftBehind, run.buffersHeld);
                EXPECT_TRUE(run.rectsEmpty || !want.rectsEmpty);
                EXPECT_EQ(run.protocolErrors, 0);
                EXPECT_EQ(run.nextResult, kNoErr);
                EXPECT_TRUE(run.nextImageCorrect);
                EXPECT_TRUE(run.nextLeftNothing);
            }
            runs += walk.filterRuns;
            faults += static_cast<int32_t>(walk.faults.size());
        }
    }
    setRunThreads(0);
    printf("fault walk: %d filter runs, %d injected faults\n", runs, faults);
}
