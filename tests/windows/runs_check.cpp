// Whole filter runs of the loaded module: the pinned runs give the native build's bits on one
// processor, and through the module's code linked into the runner on every vector
// instruction set; a multichannel document is refused without a word; and every host profile
// gets the same bits, those whose suites cannot be used with the memory coming from Windows
// global memory and going back to it.
#include <cstdlib>

#include "host_profiles.h"
#include "hostapp/host.h"
#include "hostapp/simd_choice.h"
#include "import_hooks.h"
#include "pinned_runs.h"
#include "platform/simd.h"
#include "run/dispatcher.h"
#include "runner.h"

using namespace hostapp;

void checkPinnedRuns(const LoadedModule& module) {
    // The module renders on every processor the process may use, which it takes from the
    // affinity: here one (all of them are the host profiles' part).
    DWORD_PTR all = 0, system = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &all, &system);
    SetProcessAffinityMask(GetCurrentProcess(), all & (~all + 1));
    InProcessHost host(module.entry);
    for (const pinned::PinnedRun& kind : pinned::kPinnedRuns) {
        Document doc = pinned::pinnedSource(kind);
        RunOutcome run = host.runFilter(doc);
        uint64_t digest = pinned::digestOf(doc);
        CHECK(run.result == 0 && digest == kind.digest, "%d-bit, %d planes%s, one processor: result %d, digest 0x%016llx",
              kind.bitDepth, planeCount(doc), kind.selection ? ", selection" : "", run.result, static_cast<unsigned long long>(digest));
        CHECK(host.bufferMemory().liveBlocks == 0 && run.buffersLeftBehind == 0, "buffers left behind");
    }
    SetProcessAffinityMask(GetCurrentProcess(), all);

    // A multichannel document that reaches Start is refused with 1; the refusal box it asks for
    // is not among the resources, so nothing is shown and nothing waits for the user.
    Document multichannel = makeDocument(16, 16, 8, ColourModel::Multichannel, false);
    RunOutcome refused = host.runFilter(multichannel);
    CHECK(refused.result == 1 && refused.endedAt == kSelectorStart && host.bufferMemory().liveBlocks == 0,
          "multichannel: result %d at selector %d", refused.result, refused.endedAt);
}

// The pinned runs through the module's code linked into the runner, built by the same compiler
// as the plug-in module: first on the widest set VELORUND_SIMD allows, then on every set the
// processor has, each made the widest by setRunSimd.
void checkInstructionSets() {
    std::string problem = hostapp::chooseSimdFromEnvironment();
    CHECK(problem.empty(), "%s", problem.c_str());
    InProcessHost host(PluginMain);
    auto runPinned = [&](const char* name) {
        for (const pinned::PinnedRun& kind : pinned::kPinnedRuns) {
            Document doc = pinned::pinnedSource(kind);
            RunOutcome run = host.runFilter(doc);
            CHECK(run.result == 0 && pinned::digestOf(doc) == kind.digest, "%s, %d-bit, %d planes: result %d", name,
                  kind.bitDepth, planeCount(doc), run.result);
        }
    };
    const char* chosen = std::getenv("VELORUND_SIMD");
    runPinned(chosen ? chosen : "the processor's widest");
    std::printf("pinned runs as VELORUND_SIMD=%s allows, then on every set to %s\n", chosen ? chosen : "",
                simdLevelName(processorSimdLevel()));
    for (int32_t level = 0; level <= static_cast<int32_t>(processorSimdLevel()); level++) {
        setRunSimd(static_cast<SimdLevel>(level));
        runPinned(simdLevelName(static_cast<SimdLevel>(level)));
    }
}

// The module's global memory, counted through its imports.
static HGLOBAL(WINAPI* systemGlobalAlloc)(UINT, SIZE_T) = nullptr;
static HGLOBAL(WINAPI* systemGlobalFree)(HGLOBAL) = nullptr;
static int32_t allocations = 0;
static int32_t liveBlocks = 0;
static bool flagsAsExpected = true;

static HGLOBAL WINAPI countingGlobalAlloc(UINT flags, SIZE_T bytes) {
    HGLOBAL block = systemGlobalAlloc(flags, bytes);
    if (block) {
        allocations++;
        liveBlocks++;
    }
    flagsAsExpected = flagsAsExpected && flags == (GMEM_MOVEABLE | GMEM_ZEROINIT);
    return block;
}

static HGLOBAL WINAPI countingGlobalFree(HGLOBAL block) {
    if (block) liveBlocks--;
    return systemGlobalFree(block);
}

// Routes the module's global memory through the counters; false when it imports none.
static bool countGlobalMemory(const LoadedModule& module) {
    systemGlobalAlloc = reinterpret_cast<HGLOBAL(WINAPI*)(UINT, SIZE_T)>(
        hookImport(module.handle, "KERNEL32.dll", "GlobalAlloc", reinterpret_cast<void*>(countingGlobalAlloc)));
    systemGlobalFree = reinterpret_cast<HGLOBAL(WINAPI*)(HGLOBAL)>(
        hookImport(module.handle, "KERNEL32.dll", "GlobalFree", reinterpret_cast<void*>(countingGlobalFree)));
    return CHECK(systemGlobalAlloc && systemGlobalFree, "the module imports no GlobalAlloc or GlobalFree");
}

// The pinned runs under every host profile, with the module's global memory counted: the
// profiles whose suites cannot be used, or that refuse a buffer, run on it. It is asked for as
// movable and zero-filled.
static int32_t liveGlobalBlocks() { return liveBlocks; }

void checkHostProfiles(const LoadedModule& module) {
    if (!countGlobalMemory(module)) return;
    InProcessHost reference(module.entry);
    for (const profiles::NamedProfile& profile : profiles::kHostProfiles) {
        InProcessHost host(module.entry, profile.settings);
        for (const std::string& fault :
             profiles::runPinnedRuns(host, liveGlobalBlocks, profile.defaultCalls ? &reference : nullptr))
            CHECK(false, "%s: %s", profile.name, fault.c_str());
    }
    CHECK(allocations > 0 && flagsAsExpected, "%d global blocks, not all asked for as movable and zero-filled", allocations);
}
