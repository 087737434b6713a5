// Working memory: every large block of a run (image tiles and tile tables, row records, the
// job array, the run tables). Blocks come from the host's buffer procedures when the host
// offers a usable suite, and from global memory otherwise or when the host refuses. The owner
// keeps the block's pointer and its host buffer identifier (0 for global memory), and the
// block is released by the route it came from.
#pragma once

#include <cstdint>

#include "host/host_api.h"

// True when the suite can be used: version exactly 2, at least five procedures, none null.
bool bufferProcsUsable(const BufferProcs* procs);

// A zero-filled (global memory) or host-filled block of `size` bytes, or null when both routes
// fail. `bufferId` receives the host buffer, or 0 when the block is global memory.
void* allocateWorkMemory(int32_t size, uint64_t* bufferId, const BufferProcs* procs);

// Releases `block` by its route and sets the identifier to 0; a null block does nothing and
// leaves the identifier as it was.
void releaseWorkMemory(void* block, uint64_t* bufferId, const BufferProcs* procs);

// Releases the block an owner holds in `*pointer` and clears the owner's pointer.
template <typename T>
inline void freeWorkMemory(T** pointer, uint64_t* bufferId, const BufferProcs* procs) {
    releaseWorkMemory(*pointer, bufferId, procs);
    *pointer = nullptr;
}
