// Windows global memory: a movable, zero-initialised block, locked once at allocation and
// found again from its locked address when it is released.
#include <windows.h>

#include "platform/global_memory.h"

void* globalMemoryAllocate(size_t size) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!handle) return nullptr;
    void* block = GlobalLock(handle);
    if (!block) GlobalFree(handle);
    return block;
}

void globalMemoryFree(void* block) {
    if (!block) return;
    HGLOBAL handle = GlobalHandle(block);
    GlobalUnlock(handle);
    GlobalFree(handle);
}
