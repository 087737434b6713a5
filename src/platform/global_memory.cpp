// Bookkeeping shared by both platforms' global memory: the live-block count and the test limit.
#include "platform/global_memory.h"

static int32_t liveBlocks = 0;
static int32_t allocationsAllowed = -1;

void* globalMemoryAllocate(size_t size) {
    if (allocationsAllowed == 0) return nullptr;
    void* block = systemBlockAllocate(size);
    if (!block) return nullptr;
    if (allocationsAllowed > 0) allocationsAllowed--;
    liveBlocks++;
    return block;
}

void globalMemoryFree(void* block) {
    if (!block) return;
    systemBlockFree(block);
    liveBlocks--;
}

int32_t globalMemoryLiveBlocks(void) { return liveBlocks; }

void globalMemoryLimitAllocations(int32_t allowed) { allocationsAllowed = allowed < 0 ? -1 : allowed; }
