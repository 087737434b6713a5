// The run driver's conversation with the host: the order and shape of its requests (the source
// tile by tile, the whole area, every row with the mask rows around it), its progress reports and
// cancel polls, and the failures a host causes by what it hands over rather than by a failing
// call (those are the fault walk's part).
#include <gtest/gtest.h>

#include "run/dispatcher.h"
#include "run/parameters.h"
#include "hostapp/host.h"
#include "support/rects.h"

using namespace hostapp;

namespace {

Document grayDocument(int32_t width, int32_t height, uint8_t value) {
    Document doc = makeDocument(width, height, 8, ColourModel::Gray, false);
    for (uint8_t& s : doc.samples) s = value;
    return doc;
}

}  // namespace

TEST(RunDriver, PreparePlansStartThenStartImportsTheSourceTileByTileAndAsksForRowZero) {
    Document doc = makeDocument(520, 518, 8, ColourModel::Rgb, true);
    doc.hasSelection = true;
    doc.selection = area(3, 2, 513, 513);
    InProcessHost host(PluginMain);
    host.bind(doc);
    ASSERT_EQ(host.call(kSelectorPrepare), kNoErr);
    host.clearLog();
    ASSERT_EQ(host.call(kSelectorStart), kNoErr);

    // Each tile is one request and one advanceState; then the whole-area request, cut to one
    // tile, and the first output row with the mask rows around it.
    const Rect16 origin = area(3, 2, 1, 1);
    const Rect16 noMask = area(3, 2, 0, 0);
    const struct {
        Rect16 in, out, mask;
    } expected[] = {
        {area(3, 2, 512, 512), origin, noMask},      {area(515, 2, 1, 512), origin, noMask},
        {area(3, 514, 512, 1), origin, noMask},      {area(515, 514, 1, 1), origin, noMask},
        {area(3, 2, 512, 512), area(3, 2, 512, 512), area(3, 2, 512, 512)},
        {area(3, 2, 513, 1), area(3, 2, 513, 1), area(3, 2, 513, 2)},
    };
    std::vector<HostEvent> advances = host.eventsOf(HostCall::AdvanceState);
    ASSERT_EQ(advances.size(), std::size(expected));
    for (size_t i = 0; i < advances.size(); i++) {
        EXPECT_EQ(advances[i].inRect, expected[i].in) << "request " << i;
        EXPECT_EQ(advances[i].outRect, expected[i].out) << "request " << i;
        EXPECT_EQ(advances[i].maskRect, expected[i].mask) << "request " << i;
    }

    // The import reports once, between the last tile and the whole-area request.
    std::vector<HostEvent> progress = host.eventsOf(HostCall::Progress);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].a, 1);
    EXPECT_EQ(progress[0].b, 100);
    EXPECT_EQ(progress[0].inRect, expected[3].in);

    // Every request is for all planes, interleaved, at full rate, edges replicated.
    const FilterRecord& r = host.record();
    EXPECT_EQ(r.inLoPlane | r.outLoPlane, 0);
    EXPECT_EQ(r.inHiPlane, 3);
    EXPECT_EQ(r.outHiPlane, 3);
    EXPECT_EQ(r.inputRate, kFixedOne);
    EXPECT_EQ(r.maskRate, kFixedOne);
    EXPECT_EQ(r.inputPadding, kPaddingEdgeReplication);
    EXPECT_EQ(r.outputPadding, kPaddingEdgeReplication);
    EXPECT_EQ(r.maskPadding, kPaddingEdgeReplication);

    // Prepare told the host what Start obtains: the row records of its first buffer and 1112
    // bytes more, planned for the filter rectangle, as for a document of the selection's size.
    EXPECT_EQ(r.bufferSpace, host.eventsOf(HostCall::AllocateBuffer)[0].a + 1112);
    InProcessHost plain(PluginMain);
    Document same = makeDocument(513, 513, 8, ColourModel::Rgb, true);
    plain.bind(same);
    ASSERT_EQ(plain.call(kSelectorPrepare), kNoErr);
    EXPECT_EQ(plain.record().bufferSpace, r.bufferSpace);
}

// Each row is asked for with the mask rows around it, two above and one below, kept inside the
// selection; without a selection the mask is empty at the filter rectangle's top-left. Areas of
// one row, one pixel, one column and a whole small document finish in the first Continue.
TEST(RunDriver, EveryRowComesWithTheMaskRowsAroundItInsideTheSelection) {
    for (Rect16 selection : {area(1, 2, 37, 1), area(4, 4, 1, 1), area(3, 0, 1, 9), area(0, 0, 40, 9)}) {
        Document doc = grayDocument(40, 9, 90);
        doc.hasSelection = selection.right - selection.left < 40;
        doc.selection = selection;
        InProcessHost host(PluginMain);
        RunOutcome run = host.runFilter(doc);
        EXPECT_EQ(run.result, kNoErr);
        EXPECT_EQ(run.continueCalls, 1);
        EXPECT_EQ(run.buffersLeftBehind, 0);
        // One tile, the whole area, then every row.
        std::vector<HostEvent> advances = host.eventsOf(HostCall::AdvanceState);
        ASSERT_EQ(advances.size(), 2u + (selection.bottom - selection.top)) << selection;
        const int32_t width = selection.right - selection.left;
        for (int32_t y = selection.top; y < selection.bottom; y++) {
            const HostEvent& e = advances[2 + y - selection.top];
            const int32_t maskTop = std::max<int32_t>(y - 2, selection.top);
            const int32_t maskBottom = std::min<int32_t>(y + 2, selection.bottom);
            EXPECT_EQ(e.inRect, area(selection.left, y, width, 1)) << selection;
            EXPECT_EQ(e.outRect, e.inRect);
            EXPECT_EQ(e.maskRect, doc.hasSelection ? area(selection.left, maskTop, width, maskBottom - maskTop) : area(0, 0, 0, 0))
                << selection << " row " << y;
            for (int32_t x = selection.left; x < selection.right; x++) EXPECT_FALSE(isPoison(doc, x, y, 0));
        }
    }
}

TEST(RunDriver, ProgressAndCancelPollsComeOnTheFirstAndEvery32ndRowAndCancelStopsThere) {
    Document doc = grayDocument(8, 200, 40);
    InProcessHost host(PluginMain);
    ASSERT_EQ(host.runFilter(doc).result, kNoErr);

    // The import's report, then Continue's: row 0 and every 32nd row after the counters line up.
    std::vector<std::pair<int32_t, int32_t>> reports;
    for (const HostEvent& e : host.eventsOf(HostCall::Progress)) reports.emplace_back(e.a, e.b);
    std::vector<std::pair<int32_t, int32_t>> want = {{1, 100}, {0, 200}};
    for (int32_t done = 31; done < 200; done += 32) want.emplace_back(done, 200);
    EXPECT_EQ(reports, want);

    // Cancel polls: 32 rows, each handed over through one advanceState, from one to the next.
    std::vector<int32_t> rowsBetweenPolls;
    int32_t rows = 0;
    for (const HostEvent& e : host.log()) {
        if (e.call == HostCall::AdvanceState) rows++;
        if (e.call == HostCall::Abort) rowsBetweenPolls.push_back(rows), rows = 0;
    }
    ASSERT_GE(rowsBetweenPolls.size(), 5u);
    for (size_t i = 1; i < rowsBetweenPolls.size(); i++) EXPECT_EQ(rowsBetweenPolls[i], 32);

    // Cancelled at the first poll, which comes after the 32nd row: the rows before it are handed
    // over, and the module releases its buffers and empties its rectangles itself.
    host.settings().cancelAtPoll = 1;
    host.clearLog();
    Document cancelled = grayDocument(8, 200, 40);
    RunOutcome run = host.runFilter(cancelled);
    EXPECT_EQ(run.result, kUserCanceledErr);
    EXPECT_EQ(run.endedAt, kSelectorContinue);
    EXPECT_EQ(host.eventsOf(HostCall::Abort).size(), 1u);
    for (int32_t y = 0; y < 32; y++) EXPECT_EQ(isPoison(cancelled, 4, y, 0), y == 31) << "row " << y;
    EXPECT_EQ(host.bufferMemory().liveBlocks + run.buffersLeftBehind, 0);
    EXPECT_TRUE(requestsEmptied(host.record()));
}

TEST(RunDriver, MissingRowBuffersEndTheRunWithOutOfMemoryAndALateContinueDoesNothing) {
    Document doc = grayDocument(10, 10, 40);
    InProcessHost host(PluginMain);
    host.bind(doc);
    ASSERT_EQ(host.call(kSelectorPrepare), kNoErr);
    ASSERT_EQ(host.call(kSelectorStart), kNoErr);
    host.record().outData = nullptr;
    EXPECT_EQ(host.call(kSelectorContinue), kMemFullErr);
    EXPECT_EQ(host.bufferMemory().liveBlocks, 0);
    EXPECT_EQ(host.record().inRect.bottom, 0);

    // A Continue that comes after the run has ended finds nothing to render.
    host.record().inRect = Rect16{0, 0, 1, 1};
    EXPECT_EQ(host.call(kSelectorContinue), kNoErr);
    EXPECT_EQ(host.record().inRect.bottom, 0);
}

TEST(RunBuffers, MultichannelAndHostsWithoutAdvanceStateAreRefused) {
    // Multichannel is refused after the run buffers were obtained: they go back, and the
    // rectangles are emptied.
    Document multichannel = makeDocument(10, 10, 8, ColourModel::Multichannel, false);
    InProcessHost host(PluginMain);
    host.bind(multichannel);
    ASSERT_EQ(host.call(kSelectorPrepare), kNoErr);
    host.record().inRect = host.record().outRect = host.record().maskRect = Rect16{0, 0, 5, 5};
    EXPECT_EQ(host.call(kSelectorStart), 1);
    EXPECT_GT(host.bufferMemory().requests, 0);
    EXPECT_EQ(host.bufferMemory().liveBlocks, 0);
    EXPECT_TRUE(requestsEmptied(host.record()));

    HostSettings settings;
    settings.offerAdvanceState = false;
    InProcessHost old(PluginMain, settings);
    Document doc = makeDocument(10, 10, 8, ColourModel::Rgb, false);
    RunOutcome noAdvance = old.runFilter(doc);
    EXPECT_EQ(noAdvance.result, 1);
    EXPECT_EQ(old.bufferMemory().requests, 0);  // refused before anything was allocated
}
