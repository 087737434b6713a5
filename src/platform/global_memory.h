// Global memory: the store the module falls back on when the host's handle or buffer
// procedures cannot be used. On Windows it is the system's movable global memory; elsewhere
// a portable stand-in gives the same observable behaviour. Either way a block is zero-filled,
// locked from allocation to release, and released through the address the allocation gave.
#pragma once

#include <cstddef>
#include <cstdint>

// A locked, zero-filled block of `size` bytes, or null when the system has no memory for it.
void* globalMemoryAllocate(size_t size);

// Unlocks and frees the block whose locked address is `block`; null does nothing.
void globalMemoryFree(void* block);

// Blocks allocated and not yet freed, so tests can prove that a route leaves nothing behind.
int32_t globalMemoryLiveBlocks(void);

// Makes allocations fail once `allowed` more have succeeded (a negative value lifts the limit),
// so tests can reach the paths where both the host and the system are out of memory.
void globalMemoryLimitAllocations(int32_t allowed);

// The system layer beneath, one implementation per platform.
void* systemBlockAllocate(size_t size);
void systemBlockFree(void* block);
