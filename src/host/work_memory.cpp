// Working memory through the host's buffer suite, with global memory as the fallback.
#include "host/work_memory.h"

#include "platform/check.h"
#include "platform/global_memory.h"

bool bufferProcsUsable(const BufferProcs* procs) {
    return procs && procs->bufferProcsVersion == kBufferProcsVersion &&
           procs->numBufferProcs >= kBufferProcsCount && procs->allocateProc && procs->lockProc &&
           procs->unlockProc && procs->freeProc && procs->spaceProc;
}

void* allocateWorkMemory(int32_t size, uint64_t* bufferId, const BufferProcs* procs) {
    VELORUND_CHECK(size >= 0);
    // The host's buffers come first, so that the host can account for the memory.
    if (bufferId && bufferProcsUsable(procs)) {
        BufferID id = nullptr;
        *bufferId = 0;
        if (procs->allocateProc(size, &id) == kNoErr && id) {
            *bufferId = reinterpret_cast<uintptr_t>(id);
            Ptr block = procs->lockProc(id, true);
            if (block) return block;
            // A buffer the host cannot lock is given back before falling back.
            procs->freeProc(id);
            *bufferId = 0;
        }
    }
    if (bufferId) *bufferId = 0;
    return globalMemoryAllocate(static_cast<size_t>(size));
}

void releaseWorkMemory(void* block, uint64_t* bufferId, const BufferProcs* procs) {
    if (!block) return;
    uint64_t id = bufferId ? *bufferId : 0;
    if (id != 0) {
        // A host buffer is never handed to the system allocator, even if the suite has since
        // become unusable: leaking it to the host is safe, freeing it twice is not.
        if (bufferProcsUsable(procs)) {
            BufferID hostId = reinterpret_cast<BufferID>(static_cast<uintptr_t>(id));
            procs->unlockProc(hostId);
            procs->freeProc(hostId);
        }
    } else {
        globalMemoryFree(block);
    }
    if (bufferId) *bufferId = 0;
}
