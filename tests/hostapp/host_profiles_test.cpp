// Whole filter runs under every host profile: each pinned run gives the default host's bits,
// twice in a row on the same host, with nothing leaked and the rectangles emptied at the end.
#include <gtest/gtest.h>

#include "host/dispatcher.h"
#include "host/handles.h"
#include "host_profiles.h"
#include "pinned_runs.h"
#include "platform/global_memory.h"

using namespace hostapp;

TEST(HostProfiles, EveryProfileGivesTheDefaultHostsBitsAndLeaksNothing) {
    for (const profiles::NamedProfile& profile : profiles::hostProfiles()) {
        InProcessHost host(PluginMain, profile.settings);
        host.about();  // with the result code preset where the profile says so
        for (const pinned::PinnedRun& kind : pinned::kPinnedRuns) {
            SCOPED_TRACE(testing::Message() << profile.name << ": " << kind.bitDepth << "-bit, "
                                            << (kind.layer ? "layer" : "flat") << (kind.selection ? ", selection" : ""));
            int32_t handles = 0, globalBlocks = 0;
            for (int32_t run = 1; run <= 2; run++) {
                Document doc = pinned::pinnedSource(kind);
                RunOutcome outcome = host.runFilter(doc);
                EXPECT_EQ(outcome.result, kNoErr);
                EXPECT_EQ(pinned::digestOf(doc), kind.digest) << "run " << run;
                EXPECT_EQ(outcome.buffersLeftBehind, 0);
                EXPECT_EQ(host.protocolErrors(), 0);
                const FilterRecord& r = host.record();
                for (const Rect16& rect : {r.inRect, r.outRect, r.maskRect})
                    EXPECT_EQ(rect.top | rect.left | rect.bottom | rect.right, 0);
                // What the module keeps between runs, it keeps once.
                if (run == 2) {
                    EXPECT_EQ(host.handleMemory().liveBlocks, handles);
                    EXPECT_EQ(globalMemoryLiveBlocks(), globalBlocks);
                }
                handles = host.handleMemory().liveBlocks;
                globalBlocks = globalMemoryLiveBlocks();
                // A host that keeps nothing starts every run afresh.
                const HostProfile& kept = profile.settings.profile;
                EXPECT_TRUE(kept.keepParameters || !r.parameters);
                EXPECT_TRUE(kept.keepDataSlot || (host.dataSlot() == 0 && handles == 0));
            }
        }
        // Without a usable handle suite the globals and the parameter block are global memory
        // that the module keeps for its next run; the test gives them back.
        if (host.handleMemory().requests == 0) {
            disposeHandle(nullptr, host.record().parameters);
            disposeHandle(nullptr, reinterpret_cast<Handle>(host.dataSlot()));
        }
    }
}
