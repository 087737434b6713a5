// Global memory: the store the module falls back on when the host's handle or buffer
// procedures cannot be used. On Windows it is the system's movable global memory; elsewhere a
// portable stand-in gives the same observable behaviour. Either way a block is zero-filled,
// locked from allocation to release, and released through the address the allocation gave.
#pragma once

#include <cstddef>

// A locked, zero-filled block of `size` bytes, or null when the system has no memory for it.
void* globalMemoryAllocate(size_t size);

// Unlocks and frees the block whose locked address is `block`; null does nothing.
void globalMemoryFree(void* block);
