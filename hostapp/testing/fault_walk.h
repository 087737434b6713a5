// The fault walk: a whole filter run is recorded call by call, then repeated once for every host
// call in it that can fail, with exactly that call failing, each time in a freshly loaded module.
// After each faulty run the module is run again, normally, in the same loaded module, so that
// what a failure leaves behind in the globals shows in the next run's image. The walk measures;
// what each failure must end with is for its caller to judge.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "hostapp/host.h"

namespace hostapp {

// A call made to fail, through the host's failsCall hook, the way that call can: the `at`-th
// call of its kind in a run (1 = the first). A new handle or a lock gives null, a buffer
// allocation is refused, advanceState returns the settings' advanceError and abortProc answers
// cancel; calls of other kinds cannot fail.
struct InjectedFault {
    HostCall call = HostCall::Selector;
    int32_t at = 0;  // 0: nothing fails
};

// The system memory the module falls back on when the host refuses: how many blocks are live,
// and a limit that makes the next allocations fail (a negative limit lifts it). Without it a
// refused host buffer is not a failure at all, since the fallback serves it.
struct FallbackMemory {
    int32_t (*liveBlocks)() = nullptr;
    void (*limitAllocations)(int32_t allowed) = nullptr;
};

// One failed call and what followed.
struct FaultRun {
    InjectedFault fault;
    int16_t selector = 0;       // the selector call the failed call came in
    int32_t allocation = 0;     // buffer allocations and locks: which allocation of that selector call (1 = first)
    RunOutcome outcome;         // of the faulty run
    int32_t buffersHeld = 0;    // host buffers the module had obtained and not freed when the run ended
    int32_t handlesLive = 0;    // host handles live after the faulty run
    bool rectsEmpty = false;    // the module left inRect, outRect and maskRect empty
    int32_t fallbackHeld = 0;   // blocks of fallback memory the faulty run left live
    int32_t protocolErrors = 0; // unknown or doubly freed blocks, after both runs
    // The next normal run in the same module: its result, whether it gave the recorded image
    // and left nothing behind (no buffer, no fallback block, no handle beyond the recorded run's).
    int16_t nextResult = 0;
    bool nextImageCorrect = false;
    bool nextLeftNothing = false;
};

struct FaultWalk {
    RunOutcome recorded;             // the normal run the walk started from
    std::vector<HostEvent> calls;    // its calls, in order
    std::vector<FaultRun> faults;    // one per call that can fail
    int32_t filterRuns = 0;          // every run made, the recorded one included
};

// Calls that can fail, and how: a handle or buffer that cannot be had or locked, an error from
// advanceState, a cancel from abortProc.
bool canFail(HostCall call);

// Walks the run of `source` under `settings` through every failure, or through those that
// `chosen` takes: it is asked in the order of the recorded calls, with the fault, its selector and
// its allocation filled in. advanceState failures return settings.advanceError. The memory
// fallback, when given, fails along with every refused buffer.
FaultWalk walkFaults(PluginEntryProc entry, const Document& source, const HostSettings& settings,
                     const FallbackMemory& fallback, const std::function<bool(const FaultRun&)>& chosen = {});

}  // namespace hostapp
