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
