// The in-process host: FilterRecord set-up, the selector sequence of a filter run, the handle
// and buffer suites with their accounting, and advanceState's hand-over of pixel buffers.
#include "hostapp/host.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace hostapp {

constexpr uint8_t kFreshMemoryFill = 0xA5;  // new handles and buffers are not zero-filled
constexpr size_t kRecordBytes = 1024;       // hosts allocate more than the module may read
constexpr uint32_t kHostSignature = 0x564C5248;  // 'VLRH'

static InProcessHost* activeHost = nullptr;

static double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Makes a host the one the procedures serve for the length of a call.
class ActiveScope {
public:
    explicit ActiveScope(InProcessHost* host) : previous_(activeHost) { activeHost = host; }
    ~ActiveScope() { activeHost = previous_; }

private:
    InProcessHost* previous_;
};

// The procedures the module calls: each finds the active host and asks it.
struct HostProcedures {
    static InProcessHost& host() {
        if (!activeHost) abort();  // the module called back outside any selector call
        return *activeHost;
    }

    static Handle newHandle(int32_t size) {
        InProcessHost& h = host();
        h.logEvent(HostCall::NewHandle, size);
        if (h.injectsFault(HostCall::NewHandle)) return nullptr;
        InProcessHost::Block* block = h.newBlock(h.handles_, h.settings_.handles, size);
        return block ? &block->data : nullptr;
    }
    static void disposeHandle(Handle handle) {
        InProcessHost& h = host();
        h.logEvent(HostCall::DisposeHandle);
        InProcessHost::Block* block = h.findHandle(handle);
        if (block) h.freeBlock(h.handles_, block);
    }
    static int32_t getHandleSize(Handle handle) {
        InProcessHost::Block* block = host().findHandle(handle);
        return block ? block->size : 0;
    }
    static OSErr setHandleSize(Handle handle, int32_t size) {
        InProcessHost& h = host();
        InProcessHost::Block* block = h.findHandle(handle);
        if (!block || size < 0) return kParamErr;
        char* data = static_cast<char*>(realloc(block->data, size ? size : 1));
        if (!data) return kMemFullErr;
        MemoryCount& count = h.handles_.count;
        count.liveBytes += size - block->size;
        count.peakBytes = std::max(count.peakBytes, count.liveBytes);
        block->data = data;
        block->size = size;
        return kNoErr;
    }
    static Ptr lock(InProcessHost::Block* block) {
        if (!block) return nullptr;
        block->lockDepth++;
        return block->data;
    }
    static void unlock(InProcessHost::Block* block) {
        if (block && block->lockDepth > 0) block->lockDepth--;
    }
    static Ptr lockHandle(Handle handle, Boolean) {
        host().logEvent(HostCall::LockHandle);
        if (host().injectsFault(HostCall::LockHandle)) return nullptr;
        return lock(host().findHandle(handle));
    }
    static void unlockHandle(Handle handle) {
        host().logEvent(HostCall::UnlockHandle);
        unlock(host().findHandle(handle));
    }
    static void recoverSpace(int32_t) {}
    static void disposeRegularHandle(Handle handle) { disposeHandle(handle); }

    static OSErr allocateBuffer(int32_t size, BufferID* id) {
        InProcessHost& h = host();
        InProcessHost::Block* block =
            h.injectsFault(HostCall::AllocateBuffer) ? nullptr : h.newBlock(h.buffers_, h.settings_.buffers, size);
        h.logEvent(HostCall::AllocateBuffer, size, block ? kNoErr : kMemFullErr);
        if (!block) return kMemFullErr;
        *id = reinterpret_cast<BufferID>(block);
        return kNoErr;
    }
    static Ptr lockBuffer(BufferID id, Boolean) {
        host().logEvent(HostCall::LockBuffer);
        if (host().injectsFault(HostCall::LockBuffer)) return nullptr;
        return lock(host().findBuffer(id));
    }
    static void unlockBuffer(BufferID id) {
        host().logEvent(HostCall::UnlockBuffer);
        unlock(host().findBuffer(id));
    }
    static void freeBuffer(BufferID id) {
        InProcessHost& h = host();
        h.logEvent(HostCall::FreeBuffer);
        InProcessHost::Block* block = h.findBuffer(id);
        if (block) h.freeBlock(h.buffers_, block);
    }
    static int32_t bufferSpace() { return 1 << 30; }

    static OSErr advanceState() { return host().moduleAdvanceState(); }
    static void progress(int32_t done, int32_t total) {
        InProcessHost& h = host();
        h.logEvent(HostCall::Progress, done, total);
        if (h.settings_.onProgress) h.settings_.onProgress(h.settings_.progressContext, done, total);
    }
    static Boolean testAbort() { return host().testAbort(); }
    static OSErr displayPixels() {
        host().logEvent(HostCall::DisplayPixels);
        return kNoErr;
    }
};

// The record a host passes with About: three pointers and reserved space, no FilterRecord.
struct AboutRecord {
    void* platformData;
    void* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

static bool isEmpty(const Rect16& r) { return r.bottom <= r.top || r.right <= r.left; }
static bool sameRect(const Rect16& a, const Rect16& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

InProcessHost::InProcessHost(PluginEntryProc entry, HostSettings settings)
    : entry_(entry), settings_(settings), recordBytes_(kRecordBytes, 0),
      record_(reinterpret_cast<FilterRecord*>(recordBytes_.data())) {
    buildSuites();
}

InProcessHost::~InProcessHost() {
    while (!handles_.blocks.empty()) freeBlock(handles_, handles_.blocks.back());
    while (!buffers_.blocks.empty()) freeBlock(buffers_, buffers_.blocks.back());
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

// Memory blocks ---------------------------------------------------------------------------

InProcessHost::Block* InProcessHost::newBlock(Pool& pool, const SuiteSettings& suite, int32_t size) {
    MemoryCount& count = pool.count;
    count.requests++;
    if (size < 0 || count.requests == suite.refuseRequest) {
        count.refused++;
        return nullptr;
    }
    char* data = static_cast<char*>(malloc(size ? size : 1));
    if (!data) {
        count.refused++;
        return nullptr;
    }
    if (settings_.profile.garbageMemory) {
        // Bytes of an xorshift sequence that starts anew from every request's number.
        uint64_t state = 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(count.requests);
        for (int32_t i = 0; i < size; i++) {
            state ^= state << 13, state ^= state >> 7, state ^= state << 17;
            data[i] = static_cast<char>(state >> 56);
        }
    } else {
        memset(data, kFreshMemoryFill, static_cast<size_t>(size));
    }
    Block* block = new Block{data, size, 0};
    pool.blocks.push_back(block);
    count.liveBlocks++;
    count.liveBytes += size;
    count.peakBytes = std::max(count.peakBytes, count.liveBytes);
    return block;
}

void InProcessHost::freeBlock(Pool& pool, Block* block) {
    pool.blocks.erase(std::find(pool.blocks.begin(), pool.blocks.end(), block));
    pool.count.liveBlocks--;
    pool.count.liveBytes -= block->size;
    free(block->data);
    delete block;
}

// A handle the host does not hold, or a buffer freed twice, is the module's fault: it is
// counted, never touched.
InProcessHost::Block* InProcessHost::findHandle(Handle handle) {
    for (Block* block : handles_.blocks)
        if (&block->data == handle) return block;
    protocolErrors_++;
    return nullptr;
}

InProcessHost::Block* InProcessHost::findBuffer(BufferID id) {
    for (Block* block : buffers_.blocks)
        if (reinterpret_cast<BufferID>(block) == id) return block;
    protocolErrors_++;
    return nullptr;
}

int32_t InProcessHost::lockDepth(Handle handle) const {
    for (const Block* block : handles_.blocks)
        if (&block->data == handle) return block->lockDepth;
    return -1;
}

// Suites and the record ---------------------------------------------------------------------

void InProcessHost::buildSuites() {
    handleProcs_ = HandleProcs{settings_.handles.version,
                               settings_.handles.count,
                               HostProcedures::newHandle,
                               HostProcedures::disposeHandle,
                               HostProcedures::getHandleSize,
                               HostProcedures::setHandleSize,
                               HostProcedures::lockHandle,
                               HostProcedures::unlockHandle,
                               HostProcedures::recoverSpace,
                               HostProcedures::disposeRegularHandle};
    switch (settings_.handles.nullProc) {
        case 0: handleProcs_.newProc = nullptr; break;
        case 1: handleProcs_.disposeProc = nullptr; break;
        case 2: handleProcs_.getSizeProc = nullptr; break;
        case 3: handleProcs_.setSizeProc = nullptr; break;
        case 4: handleProcs_.lockProc = nullptr; break;
        case 5: handleProcs_.unlockProc = nullptr; break;
        case 6: handleProcs_.recoverSpaceProc = nullptr; break;
        case 7: handleProcs_.disposeRegularHandleProc = nullptr; break;
    }
    bufferProcs_ = BufferProcs{settings_.buffers.version,     settings_.buffers.count,
                               HostProcedures::allocateBuffer, HostProcedures::lockBuffer,
                               HostProcedures::unlockBuffer,   HostProcedures::freeBuffer,
                               HostProcedures::bufferSpace};
    switch (settings_.buffers.nullProc) {
        case 0: bufferProcs_.allocateProc = nullptr; break;
        case 1: bufferProcs_.lockProc = nullptr; break;
        case 2: bufferProcs_.unlockProc = nullptr; break;
        case 3: bufferProcs_.freeProc = nullptr; break;
        case 4: bufferProcs_.spaceProc = nullptr; break;
    }
}

void InProcessHost::bind(Document& doc) {
    doc_ = &doc;
    buildSuites();
    input_ = output_ = mask_ = Delivery{};
    FilterRecord& r = *record_;
    Handle parameters = r.parameters;
    std::fill(recordBytes_.begin(), recordBytes_.end(), 0);

    const HostProfile& profile = settings_.profile;
    int16_t colour = static_cast<int16_t>(colourPlanes(doc));
    r.abortProc = profile.offerAbort ? HostProcedures::testAbort : nullptr;
    r.progressProc = profile.offerProgress ? HostProcedures::progress : nullptr;
    r.parameters = parameters;
    r.imageSize = Point16{static_cast<int16_t>(doc.height), static_cast<int16_t>(doc.width)};
    r.wholeSize = r.imageSize;
    r.planes = static_cast<int16_t>(planeCount(doc));
    r.filterRect = filterRectOf(doc);
    r.background = RGBColor{65535, 65535, 65535};
    r.foreground = RGBColor{0, 0, 0};
    r.backColor[0] = r.backColor[1] = r.backColor[2] = 255;
    r.maxSpace = 1 << 30;
    r.haveMask = doc.hasSelection || profile.maskWithoutData;
    r.hostSig = kHostSignature;
    r.imageMode = hostImageMode(doc);
    r.imageHRes = r.imageVRes = 72 * kFixedOne;
    r.bufferProcs = settings_.buffers.offered ? &bufferProcs_ : nullptr;
    r.handleProcs = settings_.handles.offered ? &handleProcs_ : nullptr;
    r.displayPixels = settings_.offerDisplayPixels ? reinterpret_cast<HostProcPtr>(HostProcedures::displayPixels)
                                                   : nullptr;
    r.advanceState = settings_.offerAdvanceState ? HostProcedures::advanceState : nullptr;
    r.filterCase = profile.setsFilterCase ? filterCaseOf(doc) : 0;
    r.dummyPlaneValue = -1;
    r.supportsPadding = 1;
    r.inputPadding = r.outputPadding = r.maskPadding = kPaddingNone;
    r.samplingSupport = 1;
    r.inputRate = r.maskRate = kFixedOne;
    // A layer with transparency lists its colour planes as layer planes followed by the
    // transparency plane; a flat image's colour planes are not layer planes. A host that does
    // not set these counts leaves them all 0.
    if (profile.setsLayerPlanes) {
        r.inLayerPlanes = r.outLayerPlanes = r.absLayerPlanes = doc.transparency ? colour : 0;
        r.inTransparencyMask = r.outTransparencyMask = r.absTransparencyMask = doc.transparency ? 1 : 0;
        r.inNonLayerPlanes = r.outNonLayerPlanes = r.absNonLayerPlanes = doc.transparency ? 0 : colour;
    }
    r.inTileHeight = r.inTileWidth = r.outTileHeight = r.outTileWidth = 256;
    r.maskTileHeight = r.maskTileWidth = r.absTileHeight = r.absTileWidth = 256;
    r.depth = doc.bitDepth;
    if (settings_.onBind) settings_.onBind(r, settings_.bindContext);
}

// Selector calls ------------------------------------------------------------------------------

int16_t InProcessHost::about() {
    ActiveScope scope(this);
    AboutRecord aboutRecord{};
    result_ = settings_.resultBeforeCall;
    entry_(kSelectorAbout, reinterpret_cast<FilterRecord*>(&aboutRecord), &data_, &result_);
    logEvent(HostCall::Selector, kSelectorAbout, result_);
    return result_;
}

int16_t InProcessHost::call(int16_t selector) {
    ActiveScope scope(this);
    result_ = settings_.resultBeforeCall;
    entry_(selector, record_, &data_, &result_);
    logEvent(HostCall::Selector, selector, result_);
    return result_;
}

RunOutcome InProcessHost::runFilter(Document& doc) {
    ActiveScope scope(this);
    RunOutcome outcome;
    bind(doc);
    advanceCalls_ = 0;
    abortPolls_ = 0;
    clock_ = Clock{};
    clock_.begun = clock_.lastInput = secondsNow();
    faultCalls_ = 0;

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
    outcome.buffersLeftBehind = static_cast<int32_t>(buffers_.blocks.size());
    while (!buffers_.blocks.empty()) freeBlock(buffers_, buffers_.blocks.back());
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
    for (size_t i = handles_.blocks.size(); i-- > 0;) {
        Block* block = handles_.blocks[i];
        bool dropped = &block->data == parameters ? !profile.keepParameters : !profile.keepDataSlot;
        if (dropped) freeBlock(handles_, block);
    }
}

Boolean InProcessHost::testAbort() {
    abortPolls_++;
    bool cancel = injectsFault(HostCall::Abort) ||
                  (settings_.cancelAtPoll > 0 && abortPolls_ >= settings_.cancelAtPoll) ||
                  (settings_.cancelRequested && settings_.cancelRequested(settings_.cancelContext));
    logEvent(HostCall::Abort, abortPolls_, cancel);
    return cancel;
}

// Counts a call of the injected fault's kind and tells whether this one is to fail.
bool InProcessHost::injectsFault(HostCall call) {
    const InjectedFault& fault = settings_.fault;
    return fault.call == call && ++faultCalls_ == fault.at;
}

int16_t InProcessHost::moduleAdvanceState() {
    advanceCalls_++;
    bool fail = advanceCalls_ == settings_.failAdvanceAt || injectsFault(HostCall::AdvanceState);
    int16_t result = fail ? settings_.advanceError : advance();
    logEvent(HostCall::AdvanceState, advanceCalls_, result);
    return result;
}

// Pixel hand-over ---------------------------------------------------------------------------

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

int16_t InProcessHost::handOver() {
    commitOutput();
    if (settings_.profile.clipToFilterRect) {
        FilterRecord& r = *record_;
        for (Rect16* rect : {&r.inRect, &r.outRect, &r.maskRect}) clipToFilter(*rect);
    }
    int16_t result = deliverInput();
    if (result == kNoErr) result = deliverOutput();
    if (result == kNoErr) result = deliverMask();
    return result;
}

// Stores the output buffer last handed out into the rectangle it was handed out for.
void InProcessHost::commitOutput() {
    if (!output_.pending) return;
    output_.pending = false;
    int32_t bytes = sampleBytes(*doc_);
    int32_t planes = output_.hiPlane - output_.loPlane + 1;
    const Rect16& rect = output_.rect;
    const int32_t all = planeCount(*doc_);
    const size_t pixelBytes = static_cast<size_t>(planes) * bytes;
    const int32_t width = rect.right - rect.left;
    for (int32_t y = rect.top; y < rect.bottom; y++) {
        const uint8_t* source = output_.bytes.data() + output_.topRow +
                                static_cast<ptrdiff_t>(y - rect.top) * output_.rowBytes;
        uint8_t* target = sampleAddress(*doc_, rect.left, y, output_.loPlane);
        if (planes == all) {
            memcpy(target, source, width * pixelBytes);
            continue;
        }
        for (int32_t x = 0; x < width; x++, source += pixelBytes, target += all * bytes)
            memcpy(target, source, pixelBytes);
    }
}

// A host that serves requests only inside the filter rectangle cuts them to it.
void InProcessHost::clipToFilter(Rect16& rect) const {
    if (isEmpty(rect)) return;
    const Rect16 filter = filterRectOf(*doc_);
    rect = Rect16{std::max(rect.top, filter.top), std::max(rect.left, filter.left),
                  std::min(rect.bottom, filter.bottom), std::min(rect.right, filter.right)};
    if (isEmpty(rect)) rect = Rect16{0, 0, 0, 0};
}

// Lays a packed buffer of `rows` rows out as the profile hands buffers out: every row followed
// by the profile's spare bytes, the rows stored bottom-up when it says so. Returns the address
// of the top row; the row stride the module is handed is the delivery's rowBytes.
void* InProcessHost::layOutRows(Delivery& delivery, int32_t rows) {
    const HostProfile& profile = settings_.profile;
    const int32_t packed = static_cast<int32_t>(delivery.bytes.size()) / rows;
    const int32_t stride = packed + profile.rowPadding;
    const bool bottomUp = profile.rowOrder == RowOrder::BottomUp;
    if (stride != packed || bottomUp) {
        std::vector<uint8_t> laid(static_cast<size_t>(stride) * rows, kFreshMemoryFill);
        for (int32_t y = 0; y < rows; y++)
            memcpy(laid.data() + static_cast<size_t>(bottomUp ? rows - 1 - y : y) * stride,
                   delivery.bytes.data() + static_cast<size_t>(y) * packed, static_cast<size_t>(packed));
        delivery.bytes.swap(laid);
    }
    delivery.topRow = bottomUp ? static_cast<size_t>(rows - 1) * stride : 0;
    delivery.rowBytes = bottomUp ? -stride : stride;
    return delivery.bytes.data() + delivery.topRow;
}

// The sampled image size for a rate (16.16): every rate-th pixel is handed out.
static int32_t sampledExtent(int32_t extent, Fixed rate) {
    return static_cast<int32_t>((static_cast<int64_t>(extent) * kFixedOne + rate - 1) / rate);
}

// Where a request reaches outside the image: without padding the host clips the rectangle
// (and rewrites it); asked for an error, it refuses; otherwise it pads.
static int16_t settleRequest(Rect16& rect, int16_t padding, int32_t width, int32_t height) {
    bool outside = rect.top < 0 || rect.left < 0 || rect.bottom > height || rect.right > width;
    if (!outside) return kNoErr;
    if (padding == kPaddingErrorOnBounds) return kParamErr;
    if (padding == kPaddingEdgeReplication || padding >= 0) return kNoErr;
    rect.top = static_cast<int16_t>(std::max<int32_t>(rect.top, 0));
    rect.left = static_cast<int16_t>(std::max<int32_t>(rect.left, 0));
    rect.bottom = static_cast<int16_t>(std::min<int32_t>(rect.bottom, height));
    rect.right = static_cast<int16_t>(std::min<int32_t>(rect.right, width));
    if (isEmpty(rect)) rect = Rect16{0, 0, 0, 0};
    return kNoErr;
}

// A delivery's buffer holds `size` bytes. It is reused from one delivery to the next, but
// given back when it would stay mostly empty, as after the tiles of the import, once the rows
// that follow them are a fraction of a tile.
static void sizeDelivery(std::vector<uint8_t>& bytes, size_t size) {
    if (size < bytes.capacity() / 4) std::vector<uint8_t>().swap(bytes);
    bytes.resize(size);
}

// Fills an interleaved buffer for `rect` in the sampled image: sample(x, y, plane, out) reads
// a document pixel, pad(out) writes the padding value for positions outside the image.
template <typename Sample>
static void gather(std::vector<uint8_t>& bytes, const Rect16& rect, Fixed rate, int16_t padding,
                   int32_t width, int32_t height, int32_t planes, int32_t sampleSize, Sample sample) {
    int32_t w = rect.right - rect.left;
    int32_t h = rect.bottom - rect.top;
    sizeDelivery(bytes, static_cast<size_t>(w) * h * planes * sampleSize);
    uint8_t* out = bytes.data();
    for (int32_t y = rect.top; y < rect.bottom; y++) {
        int32_t docY = static_cast<int32_t>((static_cast<int64_t>(y) * rate) >> 16);
        for (int32_t x = rect.left; x < rect.right; x++) {
            int32_t docX = static_cast<int32_t>((static_cast<int64_t>(x) * rate) >> 16);
            bool inside = docX >= 0 && docX < width && docY >= 0 && docY < height;
            int32_t sx = std::clamp(docX, 0, width - 1);
            int32_t sy = std::clamp(docY, 0, height - 1);
            for (int32_t p = 0; p < planes; p++, out += sampleSize) {
                bool pad = !inside && padding >= 0;
                sample(sx, sy, p, pad, padding, out);
            }
        }
    }
}

// Writes a padding value 0..255 on the sample scale of the document.
static void writePadding(uint8_t* out, int32_t sampleSize, int16_t value) {
    if (sampleSize == 1) {
        *out = static_cast<uint8_t>(value);
    } else if (sampleSize == 2) {
        uint16_t v = static_cast<uint16_t>(value * 32768 / 255);
        memcpy(out, &v, 2);
    } else {
        float v = value / 255.0f;
        memcpy(out, &v, 4);
    }
}

// The document's samples of `planes` planes from `lo` for `rect` at `rate`, interleaved;
// positions outside the image take the padding value or repeat the edge. A rectangle inside the
// image at full rate is copied a row (or a pixel) at a time.
static void gatherPixels(std::vector<uint8_t>& bytes, const Document& doc, const Rect16& rect, Fixed rate,
                         int16_t padding, int32_t lo, int32_t planes) {
    int32_t size = sampleBytes(doc);
    if (rate == kFixedOne && rect.left >= 0 && rect.top >= 0 && rect.right <= doc.width && rect.bottom <= doc.height) {
        const int32_t all = planeCount(doc);
        const int32_t width = rect.right - rect.left;
        const size_t pixelBytes = static_cast<size_t>(planes) * size;
        sizeDelivery(bytes, pixelBytes * width * (rect.bottom - rect.top));
        uint8_t* out = bytes.data();
        for (int32_t y = rect.top; y < rect.bottom; y++) {
            const uint8_t* in = sampleAddress(doc, rect.left, y, lo);
            if (planes == all) {
                memcpy(out, in, width * pixelBytes);
                out += width * pixelBytes;
                continue;
            }
            for (int32_t x = 0; x < width; x++, out += pixelBytes, in += all * size) memcpy(out, in, pixelBytes);
        }
        return;
    }
    gather(bytes, rect, rate, padding, doc.width, doc.height, planes, size,
           [&](int32_t x, int32_t y, int32_t p, bool pad, int16_t value, uint8_t* out) {
               if (pad) writePadding(out, size, value);
               else memcpy(out, sampleAddress(doc, x, y, lo + p), static_cast<size_t>(size));
           });
}

int16_t InProcessHost::deliverInput() {
    FilterRecord& r = *record_;
    input_.restart();
    r.inData = nullptr;
    r.inRowBytes = 0;
    if (isEmpty(r.inRect)) return kNoErr;
    if (r.inLoPlane < 0 || r.inHiPlane < r.inLoPlane || r.inHiPlane >= planeCount(*doc_)) return kParamErr;

    Fixed rate = r.inputRate > 0 ? r.inputRate : kFixedOne;
    int16_t result = settleRequest(r.inRect, r.inputPadding, sampledExtent(doc_->width, rate),
                                   sampledExtent(doc_->height, rate));
    if (result != kNoErr || isEmpty(r.inRect)) return result;

    int32_t size = sampleBytes(*doc_);
    int32_t planes = r.inHiPlane - r.inLoPlane + 1;
    gatherPixels(input_.bytes, *doc_, r.inRect, rate, r.inputPadding, r.inLoPlane, planes);
    r.inData = layOutRows(input_, r.inRect.bottom - r.inRect.top);
    r.inRowBytes = input_.rowBytes;
    r.inColumnBytes = planes * size;
    r.inPlaneBytes = size;
    return kNoErr;
}

int16_t InProcessHost::deliverOutput() {
    FilterRecord& r = *record_;
    output_.restart();
    r.outData = nullptr;
    r.outRowBytes = 0;
    if (isEmpty(r.outRect)) return kNoErr;
    if (r.outLoPlane < 0 || r.outHiPlane < r.outLoPlane || r.outHiPlane >= planeCount(*doc_)) return kParamErr;

    // Output is never padded: a request reaching outside the image is clipped to it.
    settleRequest(r.outRect, kPaddingNone, doc_->width, doc_->height);
    if (isEmpty(r.outRect)) return kNoErr;

    // Poisoned, or holding the pixels as they are, as some hosts hand output out.
    int32_t size = sampleBytes(*doc_);
    int32_t planes = r.outHiPlane - r.outLoPlane + 1;
    if (settings_.profile.outputFill == OutputFill::CurrentPixels) {
        gatherPixels(output_.bytes, *doc_, r.outRect, kFixedOne, kPaddingNone, r.outLoPlane, planes);
    } else {
        int32_t samples = (r.outRect.right - r.outRect.left) * (r.outRect.bottom - r.outRect.top) * planes;
        sizeDelivery(output_.bytes, static_cast<size_t>(samples) * size);
        writePoison(output_.bytes.data(), size);
        for (size_t done = size; done < output_.bytes.size(); done *= 2)
            memcpy(output_.bytes.data() + done, output_.bytes.data(), std::min(done, output_.bytes.size() - done));
    }
    output_.rect = r.outRect;
    output_.loPlane = r.outLoPlane;
    output_.hiPlane = r.outHiPlane;
    output_.pending = true;

    r.outData = layOutRows(output_, r.outRect.bottom - r.outRect.top);
    r.outRowBytes = output_.rowBytes;
    r.outColumnBytes = planes * size;
    r.outPlaneBytes = size;
    return kNoErr;
}

// The selection mask: 255 inside the selection, 0 outside, one 8-bit plane.
int16_t InProcessHost::deliverMask() {
    FilterRecord& r = *record_;
    mask_.restart();
    r.maskData = nullptr;
    r.maskRowBytes = 0;
    if (!r.haveMask || isEmpty(r.maskRect) || settings_.profile.maskWithoutData) return kNoErr;

    Fixed rate = r.maskRate > 0 ? r.maskRate : kFixedOne;
    int16_t result = settleRequest(r.maskRect, r.maskPadding, sampledExtent(doc_->width, rate),
                                   sampledExtent(doc_->height, rate));
    if (result != kNoErr || isEmpty(r.maskRect)) return result;

    const Rect16 selection = filterRectOf(*doc_);
    gather(mask_.bytes, r.maskRect, rate, r.maskPadding, doc_->width, doc_->height, 1, 1,
           [&](int32_t x, int32_t y, int32_t, bool pad, int16_t value, uint8_t* out) {
               bool selected = x >= selection.left && x < selection.right && y >= selection.top &&
                               y < selection.bottom;
               *out = pad ? static_cast<uint8_t>(value) : (selected ? 255 : 0);
           });
    r.maskData = layOutRows(mask_, r.maskRect.bottom - r.maskRect.top);
    r.maskRowBytes = mask_.rowBytes;
    return kNoErr;
}

}  // namespace hostapp
