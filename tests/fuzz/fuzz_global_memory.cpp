// Global memory for the host fuzzer: every block is tracked, so that unloading the module at the
// end of an input gives back what it legitimately keeps (its globals and parameter block, when
// the host's handle suite cannot be used) and a leak shows as a block still live.
#include "fuzz_global_memory.h"

#include <cstdlib>
#include <unordered_set>

#include "platform/global_memory.h"

static std::unordered_set<void*> live;

void* globalMemoryAllocate(size_t size) {
    void* block = calloc(1, size ? size : 1);
    if (block) live.insert(block);
    return block;
}

void globalMemoryFree(void* block) {
    if (!block) return;
    live.erase(block);
    free(block);
}

size_t liveGlobalBlocks() { return live.size(); }

void unloadGlobalMemory() {
    for (void* block : live) free(block);
    live.clear();
}
