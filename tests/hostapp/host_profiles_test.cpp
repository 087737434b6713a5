// Whole filter runs under every host profile of host_profiles.h, the default host among them:
// About leaves the host's result code, and every pinned run gives its pinned bits, twice on one
// host and again on every other, and the default host's calls on a host whose new memory holds
// garbage.
#include <gtest/gtest.h>

#include "host/handles.h"
#include "host_profiles.h"
#include "run/dispatcher.h"
#include "support/global_memory_hooks.h"

using namespace hostapp;

TEST(HostProfiles, EveryProfileGivesTheDefaultHostsBitsAndLeaksNothing) {
    InProcessHost reference(PluginMain);
    for (const profiles::NamedProfile& profile : profiles::kHostProfiles) {
        InProcessHost host(PluginMain, profile.settings);
        // About leaves the result code as the host set it and needs no globals.
        EXPECT_EQ(host.about(), profile.settings.resultBeforeCall) << profile.name;
        EXPECT_EQ(host.dataSlot(), 0) << profile.name;
        EXPECT_EQ(profiles::runPinnedRuns(host, globalMemoryLiveBlocks, profile.defaultCalls ? &reference : nullptr),
                  std::vector<std::string>{})
            << profile.name;
        // Without a usable handle suite the globals and the parameter block are global memory
        // that the module keeps for its next run; the test gives them back.
        if (host.handleMemory().requests == 0) {
            disposeHandle(nullptr, host.record().parameters);
            disposeHandle(nullptr, reinterpret_cast<Handle>(host.dataSlot()));
        }
    }
}
