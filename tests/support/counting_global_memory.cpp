// Global memory for the test programs: zero-filled C library blocks, counted, with an optional
// limit. Defining the two allocation functions here keeps the portable stand-in out of the
// link.
#include <cstdlib>

#include "platform/global_memory.h"
#include "support/global_memory_hooks.h"

static int32_t liveBlocks = 0;
static int32_t allocationsAllowed = -1;

void* globalMemoryAllocate(size_t size) {
    if (allocationsAllowed == 0) return nullptr;
    void* block = calloc(1, size ? size : 1);
    if (!block) return nullptr;
    if (allocationsAllowed > 0) allocationsAllowed--;
    liveBlocks++;
    return block;
}

void globalMemoryFree(void* block) {
    if (!block) return;
    free(block);
    liveBlocks--;
}

int32_t globalMemoryLiveBlocks() { return liveBlocks; }

void globalMemoryLimitAllocations(int32_t allowed) { allocationsAllowed = allowed < 0 ? -1 : allowed; }
