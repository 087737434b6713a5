// The host's procedures: each is logged, asked of the test's failure hook where it can fail, and
// served by the host its CallbackRoute names.
#include "hostapp/callbacks.h"

#include <cstdlib>

namespace hostapp {

// The host the procedures serve; null outside any selector call.
static InProcessHost* servedHost = nullptr;

CallbackRoute::CallbackRoute(InProcessHost* host) : previous_(servedHost) { servedHost = host; }
CallbackRoute::~CallbackRoute() { servedHost = previous_; }

struct HostProcedures {
    static InProcessHost& host() {
        if (!servedHost) abort();  // the module called back outside any selector call
        return *servedHost;
    }
    static bool fails(InProcessHost& h, HostCall call) {
        return h.settings_.failsCall && h.settings_.failsCall(h.settings_.failContext, call);
    }

    static Handle newHandle(int32_t size) {
        InProcessHost& h = host();
        h.logEvent(HostCall::NewHandle, size);
        if (fails(h, HostCall::NewHandle)) return nullptr;
        MemoryBlock* block = h.handles_.allocate(size, h.settings_.handles.refuseRequest,
                                                 h.settings_.profile.garbageMemory ? NewMemory::Garbage : NewMemory::Filled);
        return block ? &block->data : nullptr;
    }
    static void disposeHandle(Handle handle) {
        InProcessHost& h = host();
        h.logEvent(HostCall::DisposeHandle);
        MemoryBlock* block = h.handles_.find(handle);
        if (block) h.handles_.release(block);
    }
    static int32_t getHandleSize(Handle handle) {
        MemoryBlock* block = host().handles_.find(handle);
        return block ? block->size : 0;
    }
    static OSErr setHandleSize(Handle handle, int32_t size) {
        MemoryPool& handles = host().handles_;
        return handles.resize(handles.find(handle), size);
    }
    static Ptr lockHandle(Handle handle, Boolean) {
        InProcessHost& h = host();
        h.logEvent(HostCall::LockHandle);
        if (fails(h, HostCall::LockHandle)) return nullptr;
        return lockBlock(h.handles_.find(handle));
    }
    static void unlockHandle(Handle handle) {
        InProcessHost& h = host();
        h.logEvent(HostCall::UnlockHandle);
        unlockBlock(h.handles_.find(handle));
    }
    static void recoverSpace(int32_t) {}
    static void disposeRegularHandle(Handle handle) { disposeHandle(handle); }

    static OSErr allocateBuffer(int32_t size, BufferID* id) {
        InProcessHost& h = host();
        MemoryBlock* block = fails(h, HostCall::AllocateBuffer)
                                 ? nullptr
                                 : h.buffers_.allocate(size, h.settings_.buffers.refuseRequest, h.newBufferMemory());
        h.logEvent(HostCall::AllocateBuffer, size, block ? kNoErr : kMemFullErr);
        if (!block) return kMemFullErr;
        *id = reinterpret_cast<BufferID>(block);
        return kNoErr;
    }
    static Ptr lockBuffer(BufferID id, Boolean) {
        InProcessHost& h = host();
        h.logEvent(HostCall::LockBuffer);
        if (fails(h, HostCall::LockBuffer)) return nullptr;
        return lockBlock(h.buffers_.find(id));
    }
    static void unlockBuffer(BufferID id) {
        InProcessHost& h = host();
        h.logEvent(HostCall::UnlockBuffer);
        unlockBlock(h.buffers_.find(id));
    }
    static void freeBuffer(BufferID id) {
        InProcessHost& h = host();
        h.logEvent(HostCall::FreeBuffer);
        MemoryBlock* block = h.buffers_.find(id);
        if (block) h.buffers_.release(block);
    }
    static int32_t bufferSpace() { return 1 << 30; }

    static OSErr advanceState() {
        InProcessHost& h = host();
        h.advanceCalls_++;
        bool fail = h.advanceCalls_ == h.settings_.failAdvanceAt || fails(h, HostCall::AdvanceState);
        int16_t result = fail ? h.settings_.advanceError : h.advance();
        h.logEvent(HostCall::AdvanceState, h.advanceCalls_, result);
        return result;
    }
    static void progress(int32_t done, int32_t total) {
        InProcessHost& h = host();
        h.logEvent(HostCall::Progress, done, total);
        if (h.frontEnd_.progress) h.frontEnd_.progress(h.frontEnd_.context, done, total);
    }
    static Boolean testAbort() {
        InProcessHost& h = host();
        const FrontEndCallbacks& frontEnd = h.frontEnd_;
        h.abortPolls_++;
        bool cancel = fails(h, HostCall::Abort) ||
                      (h.settings_.cancelAtPoll > 0 && h.abortPolls_ >= h.settings_.cancelAtPoll) ||
                      (frontEnd.cancelRequested && frontEnd.cancelRequested(frontEnd.context));
        h.logEvent(HostCall::Abort, h.abortPolls_, cancel);
        return cancel;
    }
    static OSErr displayPixels() {
        host().logEvent(HostCall::DisplayPixels);
        return kNoErr;
    }
};

void offerProcedures(FilterRecord& record, const HostSettings& settings, HandleProcs& handles,
                     BufferProcs& buffers) {
    // The suites, with the procedure the settings leave null.
    handles = HandleProcs{settings.handles.version,
                          settings.handles.count,
                          HostProcedures::newHandle,
                          HostProcedures::disposeHandle,
                          HostProcedures::getHandleSize,
                          HostProcedures::setHandleSize,
                          HostProcedures::lockHandle,
                          HostProcedures::unlockHandle,
                          HostProcedures::recoverSpace,
                          HostProcedures::disposeRegularHandle};
    switch (settings.handles.nullProc) {
        case 0: handles.newProc = nullptr; break;
        case 1: handles.disposeProc = nullptr; break;
        case 2: handles.getSizeProc = nullptr; break;
        case 3: handles.setSizeProc = nullptr; break;
        case 4: handles.lockProc = nullptr; break;
        case 5: handles.unlockProc = nullptr; break;
        case 6: handles.recoverSpaceProc = nullptr; break;
        case 7: handles.disposeRegularHandleProc = nullptr; break;
    }
    buffers = BufferProcs{settings.buffers.version,     settings.buffers.count,
                          HostProcedures::allocateBuffer, HostProcedures::lockBuffer,
                          HostProcedures::unlockBuffer,   HostProcedures::freeBuffer,
                          HostProcedures::bufferSpace};
    switch (settings.buffers.nullProc) {
        case 0: buffers.allocateProc = nullptr; break;
        case 1: buffers.lockProc = nullptr; break;
        case 2: buffers.unlockProc = nullptr; break;
        case 3: buffers.freeProc = nullptr; break;
        case 4: buffers.spaceProc = nullptr; break;
    }

    // What the record offers.
    const HostProfile& profile = settings.profile;
    record.abortProc = profile.offerAbort ? HostProcedures::testAbort : nullptr;
    record.progressProc = profile.offerProgress ? HostProcedures::progress : nullptr;
    record.bufferProcs = settings.buffers.offered ? &buffers : nullptr;
    record.handleProcs = settings.handles.offered ? &handles : nullptr;
    record.displayPixels =
        settings.offerDisplayPixels ? reinterpret_cast<HostProcPtr>(HostProcedures::displayPixels) : nullptr;
    record.advanceState = settings.offerAdvanceState ? HostProcedures::advanceState : nullptr;
}

}  // namespace hostapp
