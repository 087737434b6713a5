// The host's memory behind its handle and buffer suites: one pool per suite holds the live
// blocks, counts them and their bytes, refuses the request it is told to, and counts a block
// it does not hold (unknown, or freed twice) as the module's protocol error, never touching it.
// New blocks are not zero-filled: a module that reads memory before writing it shows.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_api.h"

namespace hostapp {

// What new blocks, and the spare bytes of rows handed out padded, hold.
constexpr uint8_t kFreshMemoryFill = 0xA5;

struct MemoryCount {
    int32_t liveBlocks = 0;
    int64_t liveBytes = 0;
    int64_t peakBytes = 0;  // the most liveBytes has been

    int32_t requests = 0;
    int32_t refused = 0;
};

// What a new block holds: kFreshMemoryFill, bytes that vary from block to block, or whatever
// the system gave (a front end's host, which leaves the filling to the module).
enum class NewMemory { Filled, Garbage, AsGiven };

// A handle's data (its first field is the master pointer, so the handle is its address) or a
// buffer (whose ID is the block's address).
struct MemoryBlock {
    char* data;
    int32_t size;
    int32_t lockDepth;
};

class MemoryPool {
public:
    MemoryPool() = default;
    ~MemoryPool() { releaseAll(); }
    MemoryPool(const MemoryPool&) = delete;
    MemoryPool& operator=(const MemoryPool&) = delete;

    // A new block of `size` bytes, or null when refused: a negative size, the request numbered
    // `refuseRequest` (1 = the first; 0 refuses none), or no memory.
    MemoryBlock* allocate(int32_t size, int32_t refuseRequest, NewMemory contents = NewMemory::Filled);
    OSErr resize(MemoryBlock* block, int32_t size);
    void release(MemoryBlock* block);
    void releaseAll();

    // The block a handle or buffer ID names; null, counted as a protocol error, if none.
    MemoryBlock* find(Handle handle);
    MemoryBlock* find(BufferID id);
    int32_t lockDepth(Handle handle) const;  // -1 for an unknown handle

    const std::vector<MemoryBlock*>& blocks() const { return blocks_; }
    const MemoryCount& count() const { return count_; }
    int32_t protocolErrors() const { return protocolErrors_; }

private:
    std::vector<MemoryBlock*> blocks_;
    MemoryCount count_;
    int32_t protocolErrors_ = 0;
};

// A lock gives the block's data and deepens its lock; both accept null.
Ptr lockBlock(MemoryBlock* block);
void unlockBlock(MemoryBlock* block);

}  // namespace hostapp
