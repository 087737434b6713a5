// Working memory and handle memory: the host's suites when usable, global memory otherwise or
// when the host refuses, each block released by its own route.
#include <gtest/gtest.h>

#include "host/handles.h"
#include "host/work_memory.h"
#include "hostapp/host.h"
#include "support/global_memory_hooks.h"

using namespace hostapp;

// The in-process host serves procedure calls only inside a selector call; a test that calls
// the wrappers directly does so from inside a scripted module.
static void (*script)(InProcessHost& host) = nullptr;
static InProcessHost* scriptHost = nullptr;
static void scriptedModule(int16_t, FilterRecord*, intptr_t*, int16_t*) { script(*scriptHost); }

static void runScript(HostSettings settings, void (*body)(InProcessHost& host)) {
    InProcessHost host(scriptedModule, settings);
    Document doc = makeDocument(4, 4, 8, ColourModel::Gray, false);
    host.bind(doc);
    script = body;
    scriptHost = &host;
    host.call(kSelectorPrepare);
    EXPECT_EQ(host.bufferMemory().liveBlocks, 0);
    EXPECT_EQ(host.handleMemory().liveBlocks, 0);
    EXPECT_EQ(host.protocolErrors(), 0);
}

// Runs the body once with each of the suites as the host's buffer or handle suite; the first of
// them is the usable one.
static bool usable = false;
template <size_t N>
static void runWithEachSuite(const SuiteSettings (&suites)[N], SuiteSettings HostSettings::*suite,
                             void (*body)(InProcessHost& host)) {
    for (const SuiteSettings& settingsOfSuite : suites) {
        HostSettings settings;
        settings.*suite = settingsOfSuite;
        usable = &settingsOfSuite == suites;
        runScript(settings, body);
    }
}

// The host's buffer suite serves a block when it is usable; a suite that is missing, of another
// version, too short or with a null procedure, or that refuses the request, leaves it to
// zero-filled global memory. Either block goes back by its own route.
TEST(WorkMemory, UsableSuitesServeTheBlockOthersFallBackToZeroFilledGlobalMemory) {
    SuiteSettings suites[] = {
        {true, 2, 5},                                                                        // usable
        {false, 2, 5}, {true, 3, 5}, {true, 1, 5}, {true, 2, 4},                             // missing, other versions, too few
        {true, 2, 5, 0}, {true, 2, 5, 1}, {true, 2, 5, 2}, {true, 2, 5, 3}, {true, 2, 5, 4},  // a null procedure
        {true, 2, 5, -1, 1},                                                                 // the request refused
    };
    runWithEachSuite(suites, &HostSettings::buffers, [](InProcessHost& host) {
        int32_t globalBefore = globalMemoryLiveBlocks();
        uint64_t id = 77;
        uint8_t* block = static_cast<uint8_t*>(allocateWorkMemory(64, &id, host.record().bufferProcs));
        ASSERT_NE(block, nullptr);
        const bool hostRoute = id != 0;  // a global block has no ID
        EXPECT_EQ(hostRoute, usable);
        EXPECT_EQ(host.bufferMemory().liveBytes, hostRoute ? 64 : 0);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore + (hostRoute ? 0 : 1));
        EXPECT_TRUE(hostRoute || (block[0] | block[63]) == 0);  // global memory comes zero-filled
        freeWorkMemory(&block, &id, host.record().bufferProcs);
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(id, 0u);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);
    });
}

// The host's handle suite serves handles when it is usable: version 1, at least 8 procedures,
// and new, dispose, get-size and set-size present. Otherwise a handle is two zero-filled global
// blocks, a handle block tagged OTOF that holds the data block's address, locked from creation to
// disposal.
TEST(HandleMemory, UsableSuitesServeHandlesOthersFallBackToTaggedGlobalMemory) {
    SuiteSettings suites[] = {{true, 1, 8}, {false, 1, 8}, {true, 2, 8}, {true, 1, 7}, {true, 1, 8, 2}, {true, 1, 8, 3}};
    runWithEachSuite(suites, &HostSettings::handles, [](InProcessHost& host) {
        const HandleProcs* procs = host.record().handleProcs;
        int32_t globalBefore = globalMemoryLiveBlocks();
        Handle handle = newHandle(procs, 100);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(host.handleMemory().liveBytes, usable ? 100 : 0);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore + (usable ? 0 : 2));
        char* data = lockHandle(procs, handle, true);
        EXPECT_EQ(data, *handle);
        EXPECT_EQ(host.lockDepth(handle), usable ? 1 : -1);  // -1: not the host's
        EXPECT_TRUE(usable || (memcmp(reinterpret_cast<char*>(handle) + 8, "OTOF", 4) == 0 && (data[0] | data[99]) == 0));
        unlockHandle(procs, handle);
        EXPECT_EQ(host.lockDepth(handle), usable ? 0 : -1);
        disposeHandle(procs, handle);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);
    });

    // The data block missing: the handle block is given back too.
    int32_t globalBefore = globalMemoryLiveBlocks();
    globalMemoryLimitAllocations(1);
    EXPECT_EQ(newHandle(nullptr, 100), nullptr);
    globalMemoryLimitAllocations(-1);
    EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);
}
