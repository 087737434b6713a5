// The in-process host: the application side of the filter plug-in interface, playing the part
// of a photo editor so that tests, the command-line tool and the Windows test runner all drive
// the module through the door a real host uses.
//
// It holds one FilterRecord for the loaded module, fills it from a document the way hosts do,
// offers counting handle and buffer suites (which can be told to refuse a request, report
// another version or leave a procedure null), serves advanceState by first storing the output
// buffer it last handed out into the rectangle it was handed out for and then handing out
// fresh input, output and mask buffers for the current rectangles, and logs every call the
// module makes. Output buffers are poisoned before they are handed out, so a pixel the module
// forgets shows in the document. By default the data slot and the parameter handle are kept
// across runs, as by a host that keeps the module loaded; a HostProfile describes hosts that
// hand the filter less, or hand it over differently.
//
// A front end follows and steers a run through FrontEndCallbacks. HostSettings are what tests
// vary: the suites, the procedures offered, the profile and scripted failures; a front end keeps
// their defaults.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_api.h"
#include "hostapp/delivery.h"
#include "hostapp/document.h"
#include "hostapp/memory_pool.h"

namespace hostapp {

// How the host presents one of its procedure suites.
struct SuiteSettings {
    bool offered = true;        // false: the FilterRecord's pointer is null
    int16_t version = 0;
    int16_t count = 0;
    int32_t nullProc = -1;      // index of a procedure left null (0 = the first), -1 for none
    int32_t refuseRequest = 0;  // this allocation request (1 = the first) is refused; 0 never
};

enum class ParametersCall { FirstUse, Always, Never };

// What an output buffer holds when the host hands it out.
enum class OutputFill { Poison, CurrentPixels };

// How the rows of a buffer lie in memory: top row first, or bottom row first with a negative
// row stride (the buffer's pointer still addresses the top row of the rectangle).
enum class RowOrder { TopDown, BottomUp };

// Where real hosts differ in what they hand a filter, beyond their suites. The default is the
// host described above.
struct HostProfile {
    bool keepParameters = true;    // false: `parameters` is null at every run; the host disposes the old block
    bool keepDataSlot = true;      // false: the data slot is 0 at every run; the host frees the module's handles
    bool setsFilterCase = true;    // false: filterCase 0, as from a host that does not know it
    bool maskWithoutData = false;  // haveMask set on every document, and no mask data handed out
    bool setsLayerPlanes = true;   // false: the layer plane counts (inLayerPlanes, outLayerPlanes, ...) 0
    bool offerProgress = true;     // false: progressProc null
    bool offerAbort = true;        // false: abortProc null
    OutputFill outputFill = OutputFill::Poison;
    RowOrder rowOrder = RowOrder::TopDown;
    bool clipToFilterRect = false;  // requests are cut to the filter rectangle, not only to the image
    int32_t rowPadding = 0;         // spare bytes after every row of a buffer handed out
    bool garbageMemory = false;     // new handles and buffers hold varying bytes, not one repeated byte
};

enum class HostCall : uint8_t {
    Selector,        // a: selector, b: result code after the call
    AdvanceState,    // a: number of the call, b: its result
    Progress,        // a: done, b: total
    Abort,           // a: number of the poll, b: the answer
    DisplayPixels,
    NewHandle,       // a: size
    DisposeHandle,
    LockHandle,
    UnlockHandle,
    AllocateBuffer,  // a: size, b: result
    LockBuffer,
    UnlockBuffer,
    FreeBuffer,
};

// How a front end follows and steers a run; every callback is optional and gets `context`.
struct FrontEndCallbacks {
    void* context = nullptr;
    // Progress as the module reports it, e.g. for a progress bar.
    void (*progress)(void* context, int32_t done, int32_t total) = nullptr;
    // Consulted by abortProc, e.g. a cancel button or a signal flag.
    bool (*cancelRequested)(void* context) = nullptr;
    // The host has stored an output buffer the module filled into the document; `rows` is the
    // rectangle it covered. Nothing stops the module from asking for those rows again.
    void (*rowsCommitted)(void* context, const Rect16& rows) = nullptr;
    // The front end's fast path: the host hands the module the document's own rows for input
    // and output, where the request covers every plane inside the image, instead of copies (and
    // no poison, as every plane the module writes is handed out), and new buffer blocks as the
    // system gives them. The module sees the same calls and the same pixels.
    bool inPlace = false;
};

// How the host behaves where hosts differ, and the failures a test scripts. The defaults are
// the host described above.
struct HostSettings {
    SuiteSettings handles{true, kHandleProcsVersion, kHandleProcsCount};
    SuiteSettings buffers{true, kBufferProcsVersion, kBufferProcsCount};
    bool offerAdvanceState = true;
    bool offerDisplayPixels = true;
    // Parameters comes on the filter's first use (when the host holds no parameter block yet),
    // on every run, or never.
    ParametersCall parameters = ParametersCall::FirstUse;
    int32_t cancelAtPoll = 0;        // abortProc answers true from this poll on (1 = the first)
    int32_t failAdvanceAt = 0;       // this advanceState call (1 = the first) returns advanceError
    int16_t advanceError = kParamErr;
    int16_t resultBeforeCall = 0;    // stored in the result code before every selector call
    int32_t maxContinueCalls = 1 << 20;
    HostProfile profile{};
    // Optional: asked at every call that can fail whether this one is to. A new handle or a lock
    // then gives null, a buffer allocation is refused, advanceState returns advanceError and
    // abortProc answers cancel.
    bool (*failsCall)(void* context, HostCall call) = nullptr;
    void* failContext = nullptr;
    // Optional: called when the host has filled the FilterRecord for a document, to describe
    // the document another way, as some host does.
    void (*onBind)(FilterRecord& record, void* context) = nullptr;
    void* bindContext = nullptr;
};

// One logged call, with the module's request as it stood when the call was made.
struct HostEvent {
    HostCall call;
    int32_t a;
    int32_t b;
    Rect16 inRect;
    Rect16 outRect;
    Rect16 maskRect;
};

// Where a run's time went as the host sees it, in seconds: reading the source (from the start
// of the run to the last delivery of input without output), building the pyramid (from there
// to the first request for output), the host taking finished rows and handing out the next
// (its time in advanceState from then on) and rendering (the rest).
struct RunTimes {
    double import = 0.0;
    double pyramid = 0.0;
    double render = 0.0;
    double output = 0.0;
};

struct RunOutcome {
    int16_t result = 0;             // 0 when the run completed, else the code that ended it
    int16_t endedAt = -1;           // the selector whose result ended the run, -1 if none did
    int32_t continueCalls = 0;
    int32_t advanceCalls = 0;
    int32_t buffersLeftBehind = 0;  // buffer blocks the module still held, freed by the host
    bool gaveUp = false;            // the module kept asking for more past the host's limit
    RunTimes times;
};

class InProcessHost {
public:
    // The default host, as a front end runs it.
    explicit InProcessHost(PluginEntryProc entry, const FrontEndCallbacks& frontEnd = {});
    // A host with a test's settings.
    InProcessHost(PluginEntryProc entry, const HostSettings& settings, const FrontEndCallbacks& frontEnd = {});
    InProcessHost(const InProcessHost&) = delete;
    InProcessHost& operator=(const InProcessHost&) = delete;

    // The About call, with an about record in place of the FilterRecord. Returns the result.
    int16_t about();

    // Fills the FilterRecord for a document, as a host does before each filter run.
    void bind(Document& doc);

    // One raw selector call with the bound document; returns the result code.
    int16_t call(int16_t selector);

    // A whole filter run in the host's order: Parameters when due, Prepare, Start, Continue
    // until the module empties its rectangles, Finish; then the host frees any buffer the
    // module left behind.
    RunOutcome runFilter(Document& doc);

    // What advanceState does, also done by the host after Start and each Continue. Returns
    // the code advanceState would return.
    int16_t advance();

    FilterRecord& record() { return *record_; }
    HostSettings& settings() { return settings_; }
    intptr_t dataSlot() const { return data_; }
    const MemoryCount& handleMemory() const { return handles_.count(); }
    const MemoryCount& bufferMemory() const { return buffers_.count(); }
    // Unknown or doubly freed blocks.
    int32_t protocolErrors() const { return handles_.protocolErrors() + buffers_.protocolErrors(); }
    int32_t lockDepth(Handle handle) const { return handles_.lockDepth(handle); }  // -1 for an unknown handle
    const std::vector<HostEvent>& log() const { return log_; }
    std::vector<HostEvent> eventsOf(HostCall call) const;
    void clearLog() { log_.clear(); }

private:
    friend struct HostProcedures;

    void logEvent(HostCall call, int32_t a = 0, int32_t b = 0);
    NewMemory newBufferMemory() const;
    int16_t handOver();
    void commitOutput();
    void endFilter(RunOutcome& outcome);
    void forgetBetweenRuns();

    PluginEntryProc entry_;
    HostSettings settings_;
    FrontEndCallbacks frontEnd_;
    std::vector<uint8_t> recordBytes_;
    FilterRecord* record_;
    HandleProcs handleProcs_{};
    BufferProcs bufferProcs_{};
    Document* doc_ = nullptr;
    intptr_t data_ = 0;
    int16_t result_ = 0;
    MemoryPool handles_;
    MemoryPool buffers_;
    int32_t advanceCalls_ = 0;
    int32_t abortPolls_ = 0;
    struct Clock {  // the moments RunTimes is made from, in seconds since the run began
        double begun = 0.0;
        double lastInput = 0.0;
        double firstOutput = -1.0;
        double output = 0.0;
    } clock_;
    Delivery input_;
    Delivery output_;
    Delivery mask_;
    std::vector<HostEvent> log_;
};

}  // namespace hostapp
