// The in-process host itself, driven by small scripted modules: the poison of unwritten output and
// the stored rows the front end hears of, the host profiles' row layouts, the selector sequence
// and the reclaiming of what a module leaves behind. Later tests trust the host, so it is pinned
// here; the hand-over of output rows shows in every whole filter run, and what the module never
// asks for (padding outside the image, input plane subsets, the mask's data) is left alone.
#include <gtest/gtest.h>

#include "hostapp/host.h"
#include "support/rects.h"

using namespace hostapp;

// A scripted module: the test's script answers every selector.
static void (*script)(int16_t selector, FilterRecord* record, int16_t* result) = nullptr;
static int32_t continues = 0;
static void scriptedModule(int16_t selector, FilterRecord* record, intptr_t*, int16_t* result) {
    *result = kNoErr;
    if (selector == kSelectorContinue) continues++;
    script(selector, record, result);
}

TEST(InProcessHost, ForgottenOutputShowsAsPoisonAndStoredRowsAreReported) {
    for (int32_t depth : {8, 16, 32}) {
        Document doc = makeDocument(3, 2, depth, ColourModel::Gray, true);
        std::vector<Rect16> stored;
        InProcessHost host(scriptedModule, {.context = &stored, .rowsCommitted = [](void* context, const Rect16& rows) {
                                                static_cast<std::vector<Rect16>*>(context)->push_back(rows);
                                            }});
        continues = 0;
        script = [](int16_t selector, FilterRecord* r, int16_t*) {
            if (selector == kSelectorStart) {
                r->outLoPlane = 0;
                r->outHiPlane = 0;  // the colour plane only
                r->outRect = Rect16{0, 0, 1, 3};
            }
            if (selector == kSelectorContinue) r->outRect = continues == 1 ? Rect16{1, 0, 2, 3} : Rect16{0, 0, 0, 0};
        };
        host.runFilter(doc);
        EXPECT_TRUE(isPoison(doc, 2, 1, 0)) << depth;
        EXPECT_FALSE(isPoison(doc, 2, 1, 1)) << depth;
        EXPECT_EQ(stored, (std::vector<Rect16>{{0, 0, 1, 3}, {1, 0, 2, 3}})) << depth;
    }
}

TEST(InProcessHost, ProfileLaysRowsOutBottomUpPaddedClippedAndPrefilled) {
    Document doc = makeDocument(4, 3, 16, ColourModel::Gray, false);
    for (int32_t y = 0; y < 3; y++)
        for (int32_t x = 0; x < 4; x++) setSampleValue(doc, x, y, 0, 100 * y + x);
    doc.hasSelection = true;
    doc.selection = Rect16{1, 1, 3, 4};
    HostSettings settings;
    settings.profile = {.outputFill = OutputFill::CurrentPixels, .rowOrder = RowOrder::BottomUp,
                        .clipToFilterRect = true, .rowPadding = 6};
    InProcessHost host(scriptedModule, settings);
    host.bind(doc);
    FilterRecord& r = host.record();
    auto at = [](void* data, int32_t rowBytes, int32_t x, int32_t y) {
        return reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(data) + y * rowBytes) + x;
    };

    // Cut to the selection, the top row last in memory, rows of 3 samples and 6 spare bytes;
    // the output holds the current pixels and goes back where it came from.
    r.inRect = Rect16{0, 0, 3, 4};
    r.outRect = Rect16{0, 0, 3, 4};
    ASSERT_EQ(host.advance(), kNoErr);
    EXPECT_EQ(r.inRect.top, 1);
    EXPECT_EQ(r.outRect.left, 1);
    EXPECT_EQ(r.inRowBytes, -12);
    EXPECT_EQ(*at(r.inData, r.inRowBytes, 2, 1), 203);
    EXPECT_EQ(*at(r.outData, r.outRowBytes, 1, 1), 202);
    *at(r.outData, r.outRowBytes, 0, 1) = 7;
    ASSERT_EQ(host.advance(), kNoErr);
    EXPECT_EQ(sampleValue(doc, 1, 2, 0), 7);
}

TEST(InProcessHost, SelectorSequenceFollowsTheResults) {
    Document doc = makeDocument(2, 2, 8, ColourModel::Gray, false);
    InProcessHost host(scriptedModule);
    auto selectors = [&] {
        std::vector<int32_t> seen;
        for (const HostEvent& e : host.eventsOf(HostCall::Selector)) seen.push_back(e.a);
        host.clearLog();
        return seen;
    };

    // A failing Start ends the run without Finish.
    script = [](int16_t selector, FilterRecord*, int16_t* result) {
        if (selector == kSelectorStart) *result = 999;
    };
    RunOutcome failedStart = host.runFilter(doc);
    EXPECT_EQ(failedStart.result, 999);
    EXPECT_EQ(failedStart.endedAt, kSelectorStart);
    EXPECT_EQ(selectors(), (std::vector<int32_t>{kSelectorParameters, kSelectorPrepare, kSelectorStart}));

    // A cancelled Continue still gets Finish; the host polls abort and hears progress.
    continues = 0;
    host.settings().cancelAtPoll = 2;
    script = [](int16_t selector, FilterRecord* r, int16_t* result) {
        if (selector == kSelectorStart) r->inRect = Rect16{0, 0, 1, 1};
        if (selector != kSelectorContinue) return;
        r->progressProc(continues, 10);
        if (r->abortProc()) *result = kUserCanceledErr;
    };
    RunOutcome cancelled = host.runFilter(doc);
    EXPECT_EQ(cancelled.result, kUserCanceledErr);
    EXPECT_EQ(cancelled.continueCalls, 2);
    EXPECT_EQ(host.eventsOf(HostCall::Progress).back().a, 2);
    // The parameter handle is still null here, so Parameters comes again.
    EXPECT_EQ(selectors(), (std::vector<int32_t>{kSelectorParameters, kSelectorPrepare, kSelectorStart,
                                                 kSelectorContinue, kSelectorContinue, kSelectorFinish}));

    // A module that never empties its rectangles meets the host's limit.
    host.settings().cancelAtPoll = 0;
    host.settings().maxContinueCalls = 5;
    RunOutcome endless = host.runFilter(doc);
    EXPECT_TRUE(endless.gaveUp);
    EXPECT_EQ(endless.continueCalls, 5);
}

TEST(InProcessHost, BuffersLeftBehindAreFreedAndCountedAtTheEndOfTheFilter) {
    Document doc = makeDocument(2, 2, 8, ColourModel::Gray, false);
    InProcessHost host(scriptedModule);
    script = [](int16_t selector, FilterRecord* r, int16_t*) {
        if (selector != kSelectorStart) return;
        BufferID kept = nullptr, freed = nullptr;
        r->bufferProcs->allocateProc(100, &kept);
        r->bufferProcs->allocateProc(50, &freed);
        r->bufferProcs->freeProc(freed);
        r->bufferProcs->freeProc(freed);  // twice: the host notices and ignores it
    };
    RunOutcome run = host.runFilter(doc);
    EXPECT_EQ(run.buffersLeftBehind, 1);
    EXPECT_EQ(host.bufferMemory().liveBlocks, 0);
    EXPECT_EQ(host.protocolErrors(), 1);
}
