// The test programs' own global memory: they link tests/support/counting_global_memory.cpp in
// place of the portable stand-in, which tracks the blocks it hands out and can be told to run
// out, so a test can prove that a route leaves nothing behind and reach the paths where both
// the host and the system are out of memory, and the host fuzzer can unload the module's memory
// after each input. The module itself carries none of this.
#pragma once

#include <cstdint>

// Blocks allocated and not yet freed.
int32_t globalMemoryLiveBlocks();

// Makes allocations fail once `allowed` more have succeeded (a negative value lifts the limit).
void globalMemoryLimitAllocations(int32_t allowed);

// Frees every live block, as unloading the module would.
void globalMemoryReleaseAll();
