// The entry point and selector dispatch, driven through the in-process host: result codes per
// selector and the globals' lock across calls. About, which needs no globals, and whole runs on
// handles of global memory are checked under every host profile; globals or a parameter block
// that cannot be had, by the fault walk.
#include <gtest/gtest.h>

#include "run/dispatcher.h"
#include "hostapp/host.h"

using namespace hostapp;

static Handle globalsHandle(const InProcessHost& host) { return reinterpret_cast<Handle>(host.dataSlot()); }

TEST(Dispatcher, SelectorsGetTheirResultCodesAndTheGlobalsAreAlwaysUnlocked) {
    Document doc = makeDocument(40, 30, 8, ColourModel::Rgb, false);
    HostSettings settings;
    settings.resultBeforeCall = 55;  // the dispatcher owns the code of every non-About call
    InProcessHost host(PluginMain, settings);
    host.bind(doc);

    const struct {
        int16_t selector;
        int16_t result;
    } cases[] = {{kSelectorParameters, kNoErr}, {kSelectorPrepare, kNoErr}, {kSelectorFinish, kNoErr},
                 {6, kFilterBadParameters},     {-1, kFilterBadParameters},   {kSelectorPrepare, kNoErr}};
    for (const auto& c : cases) {
        EXPECT_EQ(host.call(c.selector), c.result) << "selector " << c.selector;
        ASSERT_NE(host.dataSlot(), 0);
        EXPECT_EQ(host.lockDepth(globalsHandle(host)), 0) << "selector " << c.selector;
    }
    // One globals block and one parameter block, however many calls came.
    EXPECT_EQ(host.handleMemory().liveBlocks, 2);
    EXPECT_EQ(host.protocolErrors(), 0);
}
