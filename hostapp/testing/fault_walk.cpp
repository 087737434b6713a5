// The fault walk: the recorded run, then one faulty run per call that can fail, each followed by
// a normal run in the same loaded module.
#include "hostapp/testing/fault_walk.h"

#include <array>

namespace hostapp {

namespace {

constexpr size_t kCallKinds = static_cast<size_t>(HostCall::FreeBuffer) + 1;

bool isEmpty(const Rect16& r) { return r.bottom <= r.top || r.right <= r.left; }

// Host buffers obtained and not freed, by the host's log of a run.
int32_t buffersHeld(const std::vector<HostEvent>& log) {
    int32_t held = 0;
    for (const HostEvent& e : log) {
        if (e.call == HostCall::AllocateBuffer && e.b == kNoErr) held++;
        if (e.call == HostCall::FreeBuffer) held--;
    }
    return held;
}

// Where each call of a run came: the selector call it was made in (logged when that call
// returns), and for buffer calls which allocation of that selector call it served.
struct CallPlace {
    int16_t selector;
    int32_t allocation;
};

std::vector<CallPlace> placesOf(const std::vector<HostEvent>& calls) {
    std::vector<CallPlace> places(calls.size(), CallPlace{-1, 0});
    int32_t allocation = 0;
    for (size_t i = 0; i < calls.size(); i++) {
        if (calls[i].call == HostCall::Selector) allocation = 0;
        if (calls[i].call == HostCall::AllocateBuffer) allocation++;
        bool buffer = calls[i].call == HostCall::AllocateBuffer || calls[i].call == HostCall::LockBuffer;
        places[i].allocation = buffer ? allocation : 0;
    }
    int16_t selector = -1;
    for (size_t i = calls.size(); i-- > 0;) {
        if (calls[i].call == HostCall::Selector) selector = static_cast<int16_t>(calls[i].a);
        places[i].selector = selector;
    }
    return places;
}

// The host's failure hook for one injected fault: counts the calls of the fault's kind.
struct FaultCounter {
    InjectedFault fault;
    int32_t calls = 0;
};

bool failsInjected(void* context, HostCall call) {
    FaultCounter& counter = *static_cast<FaultCounter*>(context);
    return counter.fault.call == call && ++counter.calls == counter.fault.at;
}

class Fallback {
public:
    explicit Fallback(const FallbackMemory& memory) : memory_(memory) {}
    int32_t live() const { return memory_.liveBlocks ? memory_.liveBlocks() : 0; }
    void limit(int32_t allowed) const {
        if (memory_.limitAllocations) memory_.limitAllocations(allowed);
    }

private:
    FallbackMemory memory_;
};

}  // namespace

bool canFail(HostCall call) {
    switch (call) {
        case HostCall::NewHandle:
        case HostCall::LockHandle:
        case HostCall::AllocateBuffer:
        case HostCall::LockBuffer:
        case HostCall::AdvanceState:
        case HostCall::Abort: return true;
        default: return false;
    }
}

FaultWalk walkFaults(PluginEntryProc entry, const Document& source, const HostSettings& settings,
                     const FallbackMemory& memory, const std::function<bool(const FaultRun&)>& chosen) {
    const Fallback fallback(memory);
    FaultWalk walk;

    // The normal run, call by call, in a freshly loaded module.
    InProcessHost recorder(entry, settings);
    Document expected = source;
    walk.recorded = recorder.runFilter(expected);
    walk.calls = recorder.log();
    walk.filterRuns = 1;
    const int32_t handles = recorder.handleMemory().liveBlocks;
    const std::vector<CallPlace> places = placesOf(walk.calls);

    std::array<int32_t, kCallKinds> seen{};
    for (size_t i = 0; i < walk.calls.size(); i++) {
        const HostCall call = walk.calls[i].call;
        int32_t at = ++seen[static_cast<size_t>(call)];
        if (!canFail(call)) continue;
        FaultRun run;
        run.fault = InjectedFault{call, at};
        run.selector = places[i].selector;
        run.allocation = places[i].allocation;
        if (chosen && !chosen(run)) continue;

        // The faulty run; a refused buffer finds the fallback out of memory too.
        FaultCounter counter{run.fault};
        HostSettings faulty = settings;
        faulty.failsCall = failsInjected;
        faulty.failContext = &counter;
        InProcessHost host(entry, faulty);
        const int32_t fallbackBefore = fallback.live();
        const bool refusesMemory = call == HostCall::AllocateBuffer || call == HostCall::LockBuffer;
        if (refusesMemory) fallback.limit(0);
        Document doc = source;
        run.outcome = host.runFilter(doc);
        if (refusesMemory) fallback.limit(-1);
        run.buffersHeld = buffersHeld(host.log());
        run.handlesLive = host.handleMemory().liveBlocks;
        const FilterRecord& record = host.record();
        run.rectsEmpty = isEmpty(record.inRect) && isEmpty(record.outRect) && isEmpty(record.maskRect);
        run.fallbackHeld = fallback.live() - fallbackBefore;

        // The next normal run in the same loaded module.
        host.settings().failsCall = nullptr;
        Document next = source;
        RunOutcome again = host.runFilter(next);
        run.nextResult = again.result;
        run.nextImageCorrect = next.samples == expected.samples;
        run.nextLeftNothing = again.buffersLeftBehind == 0 && host.bufferMemory().liveBlocks == 0 &&
                              fallback.live() == fallbackBefore && host.handleMemory().liveBlocks == handles;
        run.protocolErrors = host.protocolErrors();
        walk.filterRuns += 2;
        walk.faults.push_back(run);
    }
    return walk;
}

}  // namespace hostapp
