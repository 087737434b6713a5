// The portable stand-in for global memory: zero-filled C library blocks. They never move, so
// a block is "locked" at the same address for its whole life. This file defines nothing else,
// so a test program can link its own counting version in its place.
#include <cstdlib>

#include "platform/global_memory.h"

void* globalMemoryAllocate(size_t size) { return calloc(1, size ? size : 1); }

void globalMemoryFree(void* block) { free(block); }
