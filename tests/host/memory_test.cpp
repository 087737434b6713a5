// Working memory and handle memory: the host's suites when usable, global memory otherwise or
// when the host refuses, each block released by its own route; and the run buffers of Start.
#include <gtest/gtest.h>

#include "host/dispatcher.h"
#include "host/handles.h"
#include "host/work_memory.h"
#include "hostapp/host.h"
#include "platform/global_memory.h"

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

TEST(WorkMemory, UsableHostSuiteServesAndReleasesTheBlock) {
    runScript(HostSettings{}, [](InProcessHost& host) {
        int32_t globalBefore = globalMemoryLiveBlocks();
        uint64_t id = 0;
        void* block = allocateWorkMemory(1000, &id, host.record().bufferProcs);
        ASSERT_NE(block, nullptr);
        EXPECT_NE(id, 0u);
        EXPECT_EQ(host.bufferMemory().liveBytes, 1000);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);
        freeWorkMemory(&block, &id, host.record().bufferProcs);
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(id, 0u);
    });
}

TEST(WorkMemory, UnusableOrRefusingSuitesFallBackToZeroFilledGlobalMemory) {
    SuiteSettings suites[] = {
        {false, 2, 5}, {true, 3, 5}, {true, 1, 5}, {true, 2, 4},  // missing, other versions, too few
        {true, 2, 5, 0}, {true, 2, 5, 1}, {true, 2, 5, 2}, {true, 2, 5, 3}, {true, 2, 5, 4},  // a null procedure
        {true, 2, 5, -1, 1},  // the host refuses the request
    };
    for (const SuiteSettings& suite : suites) {
        HostSettings settings;
        settings.buffers = suite;
        runScript(settings, [](InProcessHost& host) {
            int32_t globalBefore = globalMemoryLiveBlocks();
            uint64_t id = 77;
            uint8_t* block = static_cast<uint8_t*>(allocateWorkMemory(64, &id, host.record().bufferProcs));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(id, 0u);
            EXPECT_EQ(block[0] | block[63], 0);
            EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore + 1);
            EXPECT_EQ(host.bufferMemory().liveBlocks, 0);
            freeWorkMemory(&block, &id, host.record().bufferProcs);
            EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);
        });
    }
}

TEST(WorkMemory, BothRoutesFailingGivesNullAndReleasingNullDoesNothing) {
    HostSettings settings;
    settings.buffers.refuseRequest = 1;
    runScript(settings, [](InProcessHost& host) {
        globalMemoryLimitAllocations(0);
        uint64_t id = 5;
        void* block = allocateWorkMemory(64, &id, host.record().bufferProcs);
        globalMemoryLimitAllocations(-1);
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(id, 0u);

        id = 5;
        freeWorkMemory(&block, &id, host.record().bufferProcs);
        EXPECT_EQ(id, 5u);
        EXPECT_EQ(host.eventsOf(HostCall::FreeBuffer).size(), 0u);
    });
}

TEST(HandleMemory, HostSuiteWhenUsableTaggedGlobalMemoryOtherwise) {
    runScript(HostSettings{}, [](InProcessHost& host) {
        const HandleProcs* procs = host.record().handleProcs;
        Handle handle = newHandle(procs, 100);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(host.handleMemory().liveBytes, 100);
        EXPECT_EQ(lockHandle(procs, handle, true), *handle);
        EXPECT_EQ(host.lockDepth(handle), 1);
        unlockHandle(procs, handle);
        EXPECT_EQ(host.lockDepth(handle), 0);
        disposeHandle(procs, handle);

        int32_t globalBefore = globalMemoryLiveBlocks();
        Handle fallback = newHandle(nullptr, 100);
        ASSERT_NE(fallback, nullptr);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore + 2);
        EXPECT_EQ(memcmp(reinterpret_cast<char*>(fallback) + 8, "OTOF", 4), 0);
        char* data = lockHandle(nullptr, fallback, true);
        EXPECT_EQ(data, *fallback);
        EXPECT_EQ(data[0] | data[99], 0);
        unlockHandle(nullptr, fallback);
        disposeHandle(nullptr, fallback);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);

        // The data block missing: the handle block is given back too.
        globalMemoryLimitAllocations(1);
        EXPECT_EQ(newHandle(nullptr, 100), nullptr);
        globalMemoryLimitAllocations(-1);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);
    });
}

TEST(RunBuffers, StartRefusesWithResultOneWhenAnyRunBufferIsMissing) {
    Document doc = makeDocument(30, 20, 8, ColourModel::Rgb, false);
    // Row records, job array and run tables are the first three blocks Start asks for.
    for (int32_t granted = 0; granted < 3; granted++) {
        HostSettings settings;
        settings.buffers.offered = false;
        InProcessHost host(PluginMain, settings);
        host.bind(doc);
        ASSERT_EQ(host.call(kSelectorPrepare), kNoErr);
        int32_t globalBefore = globalMemoryLiveBlocks();
        host.record().inRect = Rect16{0, 0, 5, 5};

        globalMemoryLimitAllocations(granted);
        EXPECT_EQ(host.call(kSelectorStart), 1);
        globalMemoryLimitAllocations(-1);
        EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);
        const Rect16& in = host.record().inRect;
        EXPECT_EQ(in.top | in.left | in.bottom | in.right, 0);
    }
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
    for (const Rect16* r : {&host.record().inRect, &host.record().outRect, &host.record().maskRect})
        EXPECT_EQ(r->top | r->left | r->bottom | r->right, 0);

    HostSettings settings;
    settings.offerAdvanceState = false;
    InProcessHost old(PluginMain, settings);
    Document doc = makeDocument(10, 10, 8, ColourModel::Rgb, false);
    RunOutcome noAdvance = old.runFilter(doc);
    EXPECT_EQ(noAdvance.result, 1);
    EXPECT_EQ(old.bufferMemory().requests, 0);  // refused before anything was allocated
}
