// Global memory for the test programs and the host fuzzer: zero-filled C library blocks, each
// tracked, with an optional limit. Defining the two allocation functions here keeps the portable
// stand-in out of the link.
#include <cstdlib>
#include <unordered_set>

#include "platform/global_memory.h"
#include "support/global_memory_hooks.h"

static std::unordered_set<void*> live;
static int32_t allocationsAllowed = -1;

void* globalMemoryAllocate(size_t size) {
    if (allocationsAllowed == 0) return nullptr;
    void* block = calloc(1, size ? size : 1);
    if (!block) return nullptr;
    if (allocationsAllowed > 0) allocationsAllowed--;
    live.insert(block);
    return block;
}

void globalMemoryFree(void* block) {
    if (!block) return;
    live.erase(block);
    free(block);
}

int32_t globalMemoryLiveBlocks() { return static_cast<int32_t>(live.size()); }

void globalMemoryLimitAllocations(int32_t allowed) { allocationsAllowed = allowed < 0 ? -1 : allowed; }

void globalMemoryReleaseAll() {
    for (void* block : live) free(block);
    live.clear();
}
