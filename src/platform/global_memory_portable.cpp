// The portable stand-in for global memory: zero-filled C library blocks. They never move,
// so a block is "locked" at the same address for its whole life.
#include <cstdlib>

#include "platform/global_memory.h"

void* systemBlockAllocate(size_t size) { return calloc(1, size ? size : 1); }

void systemBlockFree(void* block) { free(block); }
