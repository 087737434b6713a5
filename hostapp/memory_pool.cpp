// The pools of host memory blocks, with their counts.
#include "hostapp/memory_pool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace hostapp {

MemoryBlock* MemoryPool::allocate(int32_t size, int32_t refuseRequest, NewMemory contents) {
    count_.requests++;
    if (size < 0 || count_.requests == refuseRequest) {
        count_.refused++;
        return nullptr;
    }
    char* data = static_cast<char*>(malloc(size ? size : 1));
    if (!data) {
        count_.refused++;
        return nullptr;
    }
    if (contents == NewMemory::Garbage) {
        // Bytes of an xorshift sequence that starts anew from every request's number.
        uint64_t state = 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(count_.requests);
        for (int32_t i = 0; i < size; i++) {
            state ^= state << 13, state ^= state >> 7, state ^= state << 17;
            data[i] = static_cast<char>(state >> 56);
        }
    } else if (contents == NewMemory::Filled) {
        memset(data, kFreshMemoryFill, static_cast<size_t>(size));
    }
    MemoryBlock* block = new MemoryBlock{data, size, 0};
    blocks_.push_back(block);
    count_.liveBlocks++;
    count_.liveBytes += size;
    count_.peakBytes = std::max(count_.peakBytes, count_.liveBytes);
    return block;
}

OSErr MemoryPool::resize(MemoryBlock* block, int32_t size) {
    if (!block || size < 0) return kParamErr;
    char* data = static_cast<char*>(realloc(block->data, size ? size : 1));
    if (!data) return kMemFullErr;
    count_.liveBytes += size - block->size;
    count_.peakBytes = std::max(count_.peakBytes, count_.liveBytes);
    block->data = data;
    block->size = size;
    return kNoErr;
}

void MemoryPool::release(MemoryBlock* block) {
    blocks_.erase(std::find(blocks_.begin(), blocks_.end(), block));
    count_.liveBlocks--;
    count_.liveBytes -= block->size;
    free(block->data);
    delete block;
}

void MemoryPool::releaseAll() {
    while (!blocks_.empty()) release(blocks_.back());
}

MemoryBlock* MemoryPool::find(Handle handle) {
    for (MemoryBlock* block : blocks_)
        if (&block->data == handle) return block;
    protocolErrors_++;
    return nullptr;
}

MemoryBlock* MemoryPool::find(BufferID id) {
    for (MemoryBlock* block : blocks_)
        if (reinterpret_cast<BufferID>(block) == id) return block;
    protocolErrors_++;
    return nullptr;
}

int32_t MemoryPool::lockDepth(Handle handle) const {
    for (const MemoryBlock* block : blocks_)
        if (&block->data == handle) return block->lockDepth;
    return -1;
}

Ptr lockBlock(MemoryBlock* block) {
    if (!block) return nullptr;
    block->lockDepth++;
    return block->data;
}

void unlockBlock(MemoryBlock* block) {
    if (block && block->lockDepth > 0) block->lockDepth--;
}

}  // namespace hostapp
