// Host requests outside the order of a run: mask rows around a row in the middle of the filter
// rectangle, and the whole-area request moved by the area offsets and cut to its size limit.
#include <gtest/gtest.h>

#include "run/host_requests.h"
#include "run/parameters.h"

namespace {

struct Requests {
    PluginGlobals globals{};
    FilterRecord record{};
    FilterParameters parameters{};
    char* parametersMaster = reinterpret_cast<char*>(&parameters);
    int16_t result = 0;

    Requests() {
        globals.result = &result;
        globals.filterRecord = &record;
        record.parameters = &parametersMaster;
        record.filterRect = Rect16{10, 20, 50, 80};  // 60 x 40
        record.planes = 4;
        globals.filterHeight = 40;
    }
};

std::vector<int32_t> edges(const Rect16& r) { return {r.top, r.left, r.bottom, r.right}; }

}  // namespace

TEST(HostRequests, RowRequestsCarryTheMaskRowsAroundTheRowWhenThereIsASelection) {
    Requests q;
    q.record.haveMask = 1;
    q.globals.currentRow = 20;
    requestRow(&q.globals);
    EXPECT_EQ(edges(q.record.inRect), (std::vector<int32_t>{30, 20, 31, 80}));
    EXPECT_EQ(edges(q.record.outRect), edges(q.record.inRect));
    EXPECT_EQ(edges(q.record.maskRect), (std::vector<int32_t>{28, 20, 32, 80}));

    // The last row keeps its mask inside the rectangle; a row past it is clamped to it.
    q.globals.currentRow = 45;
    requestRow(&q.globals);
    EXPECT_EQ(edges(q.record.inRect), (std::vector<int32_t>{49, 20, 50, 80}));
    EXPECT_EQ(edges(q.record.maskRect), (std::vector<int32_t>{47, 20, 50, 80}));

    // Without a selection, the mask is empty at the rectangle's top-left.
    q.record.haveMask = 0;
    requestRow(&q.globals);
    EXPECT_EQ(edges(q.record.maskRect), (std::vector<int32_t>{10, 20, 10, 20}));
}

TEST(HostRequests, TheWholeAreaIsMovedKeptInsideAndCutToTheLimit) {
    Requests q;
    q.parameters.areaOffsetX = 15;
    q.parameters.areaOffsetY = -5;
    q.parameters.areaScale = 7;
    q.globals.wholeAreaLimit = Rect16{0, 0, 100, 30};
    requestWholeArea(&q.globals);  // no advanceState: only the rectangles
    EXPECT_EQ(edges(q.record.inRect), (std::vector<int32_t>{10, 35, 45, 65}));
    EXPECT_EQ(edges(q.record.maskRect), edges(q.record.inRect));
    EXPECT_EQ(edges(q.record.outRect), (std::vector<int32_t>{10, 20, 45, 50}));
    EXPECT_EQ(q.parameters.areaScale, 1u);
    EXPECT_EQ(q.result, 0);
}
