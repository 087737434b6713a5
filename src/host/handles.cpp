// Handle wrappers: the host's handle suite first, global memory in the host's handle shape
// otherwise.
#include "host/handles.h"

#include <cstring>

#include "platform/check.h"
#include "platform/global_memory.h"

static const char kFallbackTag[4] = {'O', 'T', 'O', 'F'};
constexpr size_t kFallbackHandleBytes = sizeof(char*) + sizeof(kFallbackTag);

bool handleProcsUsable(const HandleProcs* procs) {
    return procs && procs->handleProcsVersion == kHandleProcsVersion &&
           procs->numHandleProcs >= kHandleProcsCount && procs->newProc && procs->disposeProc &&
           procs->getSizeProc && procs->setSizeProc;
}

Handle newHandle(const HandleProcs* procs, int32_t size) {
    VELORUND_CHECK(size >= 0);
    if (handleProcsUsable(procs)) return procs->newProc(size);

    char* handleBlock = static_cast<char*>(globalMemoryAllocate(kFallbackHandleBytes));
    if (!handleBlock) return nullptr;
    char* data = static_cast<char*>(globalMemoryAllocate(static_cast<size_t>(size)));
    if (!data) {
        globalMemoryFree(handleBlock);
        return nullptr;
    }
    memcpy(handleBlock, &data, sizeof data);
    memcpy(handleBlock + sizeof data, kFallbackTag, sizeof kFallbackTag);
    return reinterpret_cast<Handle>(handleBlock);
}

void disposeHandle(const HandleProcs* procs, Handle handle) {
    if (!handle) return;
    if (handleProcsUsable(procs)) {
        procs->disposeProc(handle);
        return;
    }
    globalMemoryFree(*handle);
    globalMemoryFree(handle);
}

// Both blocks of a fallback handle stay locked from creation to disposal, so locking yields
// the data block at once and unlocking has nothing to undo. A usable host suite without a
// lock procedure is served the same way: its handles are master pointers too.
Ptr lockHandle(const HandleProcs* procs, Handle handle, bool moveHigh) {
    if (!handle) return nullptr;
    if (handleProcsUsable(procs) && procs->lockProc) return procs->lockProc(handle, moveHigh);
    return *handle;
}

void unlockHandle(const HandleProcs* procs, Handle handle) {
    if (handle && handleProcsUsable(procs) && procs->unlockProc) procs->unlockProc(handle);
}
