// The hosts users really have, as settings of the in-process host: each profile differs from the
// default host in what it hands the filter or how. Every pinned run of pinned_runs.h, run twice
// on one host under each profile, must give the default host's bits, leave no buffer behind, hold
// no more memory after the second run than after the first and end with the rectangles empty; a
// host that differs only in what its new memory holds must also get the default host's calls,
// one for one. The native tests run the profiles on the module built into them, the Windows test
// runner on the built modules under wine.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "hostapp/host.h"
#include "pinned_runs.h"
#include "support/rects.h"

namespace profiles {

struct NamedProfile {
    const char* name;
    hostapp::HostSettings settings;
    bool defaultCalls = false;  // the module's calls must be the default host's
};

inline const NamedProfile kHostProfiles[] = {
    {"default", {}},
    {"parameters not kept", {.profile = {.keepParameters = false}}},
    {"neither parameters nor data slot kept", {.profile = {.keepParameters = false, .keepDataSlot = false}}},
    {"no handle suite", {.handles = {false, kHandleProcsVersion, kHandleProcsCount}}},
    {"no buffer suite", {.buffers = {false, kBufferProcsVersion, kBufferProcsCount}}},
    {"buffer suite version 1", {.buffers = {true, 1, kBufferProcsCount}}},
    {"first buffer request refused", {.buffers = {true, kBufferProcsVersion, kBufferProcsCount, -1, 1}}},
    {"handle suite without setSizeProc", {.handles = {true, kHandleProcsVersion, kHandleProcsCount, 3}}},
    {"filterCase 0", {.profile = {.setsFilterCase = false}}},
    {"haveMask without mask data", {.profile = {.maskWithoutData = true}}},
    {"layer plane counts 0", {.profile = {.setsLayerPlanes = false}}},
    {"no displayPixels, progressProc or abortProc",
     {.offerDisplayPixels = false, .profile = {.offerProgress = false, .offerAbort = false}}},
    {"result preset to 1", {.resultBeforeCall = 1}},
    {"output holding the current pixels", {.profile = {.outputFill = hostapp::OutputFill::CurrentPixels}}},
    {"rows stored bottom-up", {.profile = {.rowOrder = hostapp::RowOrder::BottomUp}}},
    {"requests clipped to the filter rectangle", {.profile = {.clipToFilterRect = true}}},
    {"padded rows", {.profile = {.rowPadding = 36}}},
    {"new memory holding garbage", {.profile = {.garbageMemory = true}}, true},
};

// Whether two hosts' logs hold the same calls with the same values and requests.
inline bool sameCalls(const std::vector<hostapp::HostEvent>& a, const std::vector<hostapp::HostEvent>& b) {
    auto same = [](const hostapp::HostEvent& x, const hostapp::HostEvent& y) {
        return x.call == y.call && x.a == y.a && x.b == y.b && x.inRect == y.inRect && x.outRect == y.outRect &&
               x.maskRect == y.maskRect;
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

// Runs every pinned run twice on `host` and says what went wrong, one line per fault.
// `globalBlocks` counts the module's live global memory blocks. Each run is repeated on the
// default host `reference` when one is given, whose calls the host's must match.
inline std::vector<std::string> runPinnedRuns(hostapp::InProcessHost& host, int32_t (*globalBlocks)(),
                                              hostapp::InProcessHost* reference = nullptr) {
    using namespace hostapp;
    std::vector<std::string> faults;
    const HostProfile& kept = host.settings().profile;
    for (const pinned::PinnedRun& kind : pinned::kPinnedRuns) {
        std::string run = std::to_string(kind.bitDepth) + "-bit " + (kind.model == ColourModel::Rgb ? "RGB " : "gray ") +
                          (kind.layer ? "layer" : "flat") + (kind.selection ? " with selection" : "");
        int32_t handles = 0, blocks = 0;
        for (int32_t pass = 1; pass <= 2; pass++) {
            Document doc = pinned::pinnedSource(kind);
            host.clearLog();
            RunOutcome outcome = host.runFilter(doc);
            if (reference) {
                Document same = pinned::pinnedSource(kind);
                reference->clearLog();
                reference->runFilter(same);
                if (!sameCalls(host.log(), reference->log())) faults.push_back(run + ": other calls than the default host's");
            }
            const FilterRecord& r = host.record();
            if (outcome.result != kNoErr || pinned::digestOf(doc) != kind.digest)
                faults.push_back(run + ": result " + std::to_string(outcome.result) + ", digest " + pinned::hexDigest(doc));
            if (outcome.buffersLeftBehind != 0 || host.protocolErrors() != 0 || !requestsEmptied(r))
                faults.push_back(run + ": buffers left behind, blocks mistaken or rectangles not emptied");
            if (pass == 2 && (host.handleMemory().liveBlocks != handles || globalBlocks() != blocks))
                faults.push_back(run + ": memory kept between runs grew");
            if ((!kept.keepParameters && r.parameters) || (!kept.keepDataSlot && host.dataSlot() != 0))
                faults.push_back(run + ": what the host does not keep was kept");
            handles = host.handleMemory().liveBlocks;
            blocks = globalBlocks();
        }
    }
    return faults;
}

}  // namespace profiles
