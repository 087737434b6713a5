// A host and its document made from a string of bytes. Bytes past the end read as 0, so every
// string is a host, and a short one is the default host with a small document.
#include "hostapp/testing/byte_host.h"

#include <algorithm>
#include <limits>

namespace hostapp {

namespace {

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    int32_t word() { return byte() | byte() << 8; }
    bool flag() { return byte() & 1; }
    int32_t below(int32_t n) { return byte() % n; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A selection inside the document, never empty.
Rect16 selectionFrom(ByteReader& in, int32_t width, int32_t height) {
    int32_t top = in.word() % height;
    int32_t left = in.word() % width;
    int32_t bottom = top + 1 + in.word() % (height - top);
    int32_t right = left + 1 + in.word() % (width - left);
    return Rect16{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
                  static_cast<int16_t>(right)};
}

// Samples from a palette of eight values laid out with a stride: levels of the sample scale, and
// for float documents also what real float layers hold, values past 1, below 0, huge, NaN and
// infinity.
void fillSamples(ByteReader& in, Document& doc) {
    const double full = doc.bitDepth == 8 ? 255 : doc.bitDepth == 16 ? 32768 : 1.0;
    const bool extreme = doc.bitDepth == 32 && in.flag();
    const double extremes[8] = {0, 0.25, 1, 1.5, -0.5, 1e30, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()};
    double palette[8];
    for (int32_t i = 0; i < 8; i++) palette[i] = extreme ? extremes[in.below(8)] : full * in.byte() / 255;
    const int32_t stride = 1 + in.below(13);
    const int32_t planes = planeCount(doc);
    int64_t i = 0;
    for (int32_t y = 0; y < doc.height; y++)
        for (int32_t x = 0; x < doc.width; x++)
            for (int32_t p = 0; p < planes; p++, i++) setSampleValue(doc, x, y, p, palette[(i * stride / 7) % 8]);
}

void fillSuite(ByteReader& in, SuiteSettings& suite) {
    const uint8_t b = in.byte();
    suite.offered = !(b & 1);
    if (b & 2) suite.version = static_cast<int16_t>(suite.version + (b & 4 ? 1 : -1));
    if (b & 8) suite.count = static_cast<int16_t>(in.below(suite.count + 1));
    suite.nullProc = b & 16 ? in.below(8) : -1;
    suite.refuseRequest = b & 32 ? in.below(64) : 0;
}

void describe(FilterRecord& record, void* context) {
    const RecordFields& fields = *static_cast<const RecordFields*>(context);
    record.imageMode = fields.imageMode;
    record.planes = fields.planes;
    record.filterCase = fields.filterCase;
    record.haveMask = fields.haveMask;
    record.inLayerPlanes = fields.inLayerPlanes;
    record.outLayerPlanes = fields.outLayerPlanes;
}

}  // namespace

ByteHost byteHost(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    ByteHost host;

    // The document's kind and size, kept to a number of pixels that runs quickly.
    const int32_t width = 1 + in.word() % 4096;
    const int32_t height = std::min(1 + in.word() % 4096, std::max(1, kByteHostMaxPixels / width));
    const int32_t depths[3] = {8, 16, 32};
    int32_t depth = depths[in.below(3)];
    const ColourModel model = static_cast<ColourModel>(in.below(3));
    const bool transparency = in.flag();

    // The record's own description; a float mode is a float document.
    host.describesOwnWay = in.flag();
    if (host.describesOwnWay) {
        RecordFields& f = host.fields;
        f.imageMode = static_cast<int16_t>(in.below(kModeGray32 + 1));
        if (f.imageMode == kModeRGB96 || f.imageMode == kModeGray32) depth = 32;
        f.planes = static_cast<int16_t>(in.below(7));
        f.filterCase = static_cast<int16_t>(in.below(8));
        f.haveMask = in.flag();
        f.inLayerPlanes = static_cast<int16_t>(in.below(6));
        f.outLayerPlanes = static_cast<int16_t>(in.below(6));
    }
    host.document = makeDocument(width, height, depth, model, transparency);
    Document& doc = host.document;
    doc.hasSelection = in.flag();
    if (doc.hasSelection) doc.selection = selectionFrom(in, width, height);
    fillSamples(in, doc);

    // The host's suites, procedures, profile and scripted failures.
    HostSettings& s = host.settings;
    fillSuite(in, s.handles);
    fillSuite(in, s.buffers);
    const uint8_t procs = in.byte();
    s.offerAdvanceState = !(procs & 1);
    s.offerDisplayPixels = !(procs & 2);
    s.profile.offerProgress = !(procs & 4);
    s.profile.offerAbort = !(procs & 8);
    s.cancelAtPoll = procs & 16 ? in.below(8) : 0;
    s.failAdvanceAt = procs & 32 ? in.word() % 600 : 0;
    s.resultBeforeCall = procs & 64 ? static_cast<int16_t>(in.word()) : 0;
    s.parameters = static_cast<ParametersCall>(in.below(3));
    s.maxContinueCalls = 4 * height + 64;
    const uint8_t p = in.byte();
    HostProfile& profile = s.profile;
    profile.keepParameters = !(p & 1);
    profile.keepDataSlot = !(p & 2);
    profile.setsFilterCase = !(p & 4);
    profile.maskWithoutData = p & 8;
    profile.setsLayerPlanes = !(p & 16);
    profile.outputFill = p & 32 ? OutputFill::CurrentPixels : OutputFill::Poison;
    profile.rowOrder = p & 64 ? RowOrder::BottomUp : RowOrder::TopDown;
    profile.clipToFilterRect = p & 128;
    profile.rowPadding = in.below(16);
    host.threads = 1 + in.below(2);

    // Selector calls in any order, then a whole run.
    const int32_t steps = in.below(12);
    for (int32_t i = 0; i < steps; i++) {
        const uint8_t b = in.byte();
        host.script.push_back(ScriptStep{static_cast<HostStep>(b % 4), static_cast<int16_t>((b >> 2) % 8 - 1)});
    }
    host.script.push_back(ScriptStep{HostStep::WholeRun, 0});
    return host;
}

HostSettings settingsOf(ByteHost& host) {
    HostSettings settings = host.settings;
    if (host.describesOwnWay) {
        settings.onBind = describe;
        settings.bindContext = &host.fields;
    }
    return settings;
}

RunOutcome playByteHost(InProcessHost& player, const ByteHost& host) {
    Document doc = host.document;
    player.bind(doc);
    RunOutcome last;
    for (const ScriptStep& step : host.script) {
        switch (step.step) {
            case HostStep::About: player.about(); break;
            case HostStep::Selector: player.call(step.selector); break;
            case HostStep::Advance: player.advance(); break;
            case HostStep::WholeRun: last = player.runFilter(doc); break;
        }
    }
    return last;
}

}  // namespace hostapp
