// The host's selector calls: binding a document, About, the sequence of a whole filter run with
// advanceState's hand-over between the calls, the timing of a run, and what the host lets go of
// when a filter ends.
#include "hostapp/host.h"

#include <algorithm>
#include <chrono>

#include "hostapp/callbacks.h"
#include "hostapp/filter_record.h"

namespace hostapp {

constexpr size_t kRecordBytes = 1024;  // hosts allocate more than the module may read

// The record a host passes with About: three pointers and reserved space, no FilterRecord.
struct AboutRecord {
    void* platformData;
    void* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

static double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static bool isEmpty(const Rect16& r) { return r.bottom <= r.top || r.right <= r.left; }
static bool sameRect(const Rect16& a, const Rect16& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

InProcessHost::InProcessHost(PluginEntryProc entry, const FrontEndCallbacks& frontEnd)
    : InProcessHost(entry, HostSettings{}, frontEnd) {}

InProcessHost::InProcessHost(PluginEntryProc entry, const HostSettings& settings, const FrontEndCallbacks& frontEnd)
    : entry_(entry), settings_(settings), frontEnd_(frontEnd), recordBytes_(kRecordBytes, 0),
      record_(reinterpret_cast<FilterRecord*>(recordBytes_.data())) {}

NewMemory InProcessHost::newBufferMemory() const {
    if (frontEnd_.inPlace) return NewMemory::AsGiven;
    return settings_.profile.garbageMemory ? NewMemory::Garbage : NewMemory::Filled;
}

void InProcessHost::logEvent(HostCall call, int32_t a, int32_t b) {
    log_.push_back(HostEvent{call, a, b, record_->inRect, record_->outRect, record_->maskRect});
}

std::vector<HostEvent> InProcessHost::eventsOf(HostCall call) const {
    std::vector<HostEvent> events;
    for (const HostEvent& e : log_)
        if (e.call == call) events.push_back(e);
    return events;
}

void InProcessHost::bind(Document& doc) {
    doc_ = &doc;
    input_ = output_ = mask_ = Delivery{};
    FilterRecord& r = *record_;
    Handle parameters = r.parameters;
    std::fill(recordBytes_.begin(), recordBytes_.end(), 0);
    r.parameters = parameters;
    offerProcedures(r, settings_, handleProcs_, bufferProcs_);
    describeDocument(r, doc, settings_.profile);
    if (settings_.onBind) settings_.onBind(r, settings_.bindContext);
}

int16_t InProcessHost::about() {
    CallbackRoute route(this);
    AboutRecord aboutRecord{};
    result_ = settings_.resultBeforeCall;
    entry_(kSelectorAbout, reinterpret_cast<FilterRecord*>(&aboutRecord), &data_, &result_);
    logEvent(HostCall::Selector, kSelectorAbout, result_);
    return result_;
}

int16_t InProcessHost::call(int16_t selector) {
    CallbackRoute route(this);
    result_ = settings_.resultBeforeCall;
    entry_(selector, record_, &data_, &result_);
    logEvent(HostCall::Selector, selector, result_);
    return result_;
}

RunOutcome InProcessHost::runFilter(Document& doc) {
    CallbackRoute route(this);
    RunOutcome outcome;
    bind(doc);
    advanceCalls_ = 0;
    abortPolls_ = 0;
    clock_ = Clock{};
    clock_.begun = clock_.lastInput = secondsNow();

    auto stage = [&](int16_t selector) {
        int16_t result = call(selector);
        if (result != kNoErr && outcome.endedAt < 0) {
            outcome.result = result;
            outcome.endedAt = selector;
        }
        return result == kNoErr;
    };

    bool parameters = settings_.parameters == ParametersCall::Always ||
                      (settings_.parameters == ParametersCall::FirstUse && !record_->parameters);
    if ((parameters && !stage(kSelectorParameters)) || !stage(kSelectorPrepare) || !stage(kSelectorStart)) {
        endFilter(outcome);
        return outcome;
    }

    // After Start and after every Continue the host takes the finished output and hands out
    // what the module asks for next, until the module empties its rectangles.
    for (;;) {
        const FilterRecord& r = *record_;
        if (isEmpty(r.inRect) && isEmpty(r.outRect) && isEmpty(r.maskRect)) {
            commitOutput();
            break;
        }
        int16_t delivered = advance();
        if (delivered != kNoErr) {
            outcome.result = delivered;
            break;
        }
        if (outcome.continueCalls == settings_.maxContinueCalls) {
            outcome.gaveUp = true;
            break;
        }
        outcome.continueCalls++;
        if (!stage(kSelectorContinue)) break;
    }
    stage(kSelectorFinish);
    endFilter(outcome);

    RunTimes& times = outcome.times;
    double ended = secondsNow();
    times.import = clock_.lastInput - clock_.begun;
    times.pyramid = (clock_.firstOutput >= 0.0 ? clock_.firstOutput : ended) - clock_.lastInput;
    times.output = clock_.output;
    times.render = ended - clock_.begun - times.import - times.pyramid - times.output;
    return outcome;
}

// A filter's buffers do not outlive the filter: what the module still holds is freed here.
void InProcessHost::endFilter(RunOutcome& outcome) {
    outcome.advanceCalls = advanceCalls_;
    outcome.buffersLeftBehind = static_cast<int32_t>(buffers_.blocks().size());
    buffers_.releaseAll();
    input_ = output_ = mask_ = Delivery{};
    record_->inData = record_->outData = record_->maskData = nullptr;
    forgetBetweenRuns();
}

// What a host that keeps less between runs lets go of: the parameter block it does not keep,
// and without the data slot every handle the module obtained, which nothing can reach any more
// (as when the host unloads the module).
void InProcessHost::forgetBetweenRuns() {
    const HostProfile& profile = settings_.profile;
    Handle parameters = record_->parameters;
    if (!profile.keepParameters) record_->parameters = nullptr;
    if (!profile.keepDataSlot) data_ = 0;
    const std::vector<MemoryBlock*>& blocks = handles_.blocks();
    for (size_t i = blocks.size(); i-- > 0;) {
        MemoryBlock* block = blocks[i];
        bool dropped = &block->data == parameters ? !profile.keepParameters : !profile.keepDataSlot;
        if (dropped) handles_.release(block);
    }
}

int16_t InProcessHost::advance() {
    // Input asked for on its own, or beside output somewhere else, is the source being read; once
    // the module asks for the output where it asks for input, every hand-over is rows.
    const FilterRecord& r = *record_;
    double entered = secondsNow();
    bool rows = !isEmpty(r.outRect) && (isEmpty(r.inRect) || sameRect(r.inRect, r.outRect));
    if (rows && clock_.firstOutput < 0.0) clock_.firstOutput = entered;
    int16_t result = handOver();
    double left = secondsNow();
    if (!rows && !isEmpty(r.inRect)) clock_.lastInput = left;
    if (clock_.firstOutput >= 0.0) clock_.output += left - entered;
    return result;
}

// The output last handed out goes into the document, then the buffers the module asks for now
// are handed out.
int16_t InProcessHost::handOver() {
    commitOutput();
    FilterRecord& r = *record_;
    if (settings_.profile.clipToFilterRect)
        for (Rect16* rect : {&r.inRect, &r.outRect, &r.maskRect}) clipToFilter(*rect, *doc_);
    const bool inPlace = frontEnd_.inPlace;
    int16_t result = deliver(PixelBuffer::Input, r, *doc_, settings_.profile, input_, inPlace);
    if (result == kNoErr) result = deliver(PixelBuffer::Output, r, *doc_, settings_.profile, output_, inPlace);
    if (result == kNoErr) result = deliver(PixelBuffer::Mask, r, *doc_, settings_.profile, mask_, false);
    return result;
}

// Stores the output last handed out, and tells the front end which rows it covered.
void InProcessHost::commitOutput() {
    const Rect16 rows = storeOutput(output_, *doc_);
    if (!isEmpty(rows) && frontEnd_.rowsCommitted) frontEnd_.rowsCommitted(frontEnd_.context, rows);
}

}  // namespace hostapp
