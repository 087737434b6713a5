// Fuzz bytes become a document, a FilterRecord and a host (see hostapp/testing/byte_host.h),
// and the module runs through the in-process host in one loaded module: the selector calls in
// the bytes' order, then a whole run. The sanitizers catch memory faults and undefined
// behaviour; a run that gives up, a protocol error, or global memory beyond the module's two
// kept blocks after a completed run in a host that keeps them are findings too.
#include <cstdlib>

#include "hostapp/testing/byte_host.h"
#include "run/dispatcher.h"
#include "support/global_memory_hooks.h"

using namespace hostapp;

constexpr size_t kKeptBlocks = 4;  // the globals and parameter block as global-memory handles

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteHost host = byteHost(data, size);
    setRunThreads(host.threads);
    size_t left = 0;
    {
        InProcessHost player(PluginMain, settingsOf(host));
        RunOutcome last = playByteHost(player, host);
        if (last.gaveUp || player.protocolErrors() != 0) abort();
        const HostProfile& profile = host.settings.profile;
        if (last.result == 0 && profile.keepParameters && profile.keepDataSlot) left = static_cast<size_t>(globalMemoryLiveBlocks());
    }
    if (left > kKeptBlocks) abort();
    globalMemoryReleaseAll();
    return 0;
}
