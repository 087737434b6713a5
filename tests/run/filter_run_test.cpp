// Whole filter runs through the in-process host, on documents of every kind the filter takes:
// what lands inside the disc, outside it and outside the filter rectangle, that nothing is
// forgotten or leaked, and that every thread count and every instruction set gives the bits of
// one. The pinned bits of every kind of document are held by the host profile tests, under the
// default host and others.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "image/work_queue.h"
#include "platform/simd.h"
#include "run/dispatcher.h"
#include "hostapp/host.h"
#include "support/global_memory_hooks.h"
#include "support/sanitizers.h"
#include "pinned_runs.h"

using namespace hostapp;

namespace {

// Where a pixel's centre lies relative to the ellipse inscribed in the filter rectangle:
// the squared normalised radius.
double radius2(const Rect16& filter, int32_t x, int32_t y) {
    double u = 2.0 * (x + 0.5 - filter.left) / (filter.right - filter.left) - 1.0;
    double v = 2.0 * (y + 0.5 - filter.top) / (filter.bottom - filter.top) - 1.0;
    return u * u + v * v;
}

// Full scale on the document's sample scale.
double fullScale(const Document& doc) { return doc.bitDepth == 8 ? 255 : doc.bitDepth == 16 ? 32768 : 1.0; }

// A run that must complete and leave the host's memory as it found it.
void runCleanly(InProcessHost& host, Document& doc) {
    int32_t globalBefore = globalMemoryLiveBlocks();
    RunOutcome run = host.runFilter(doc);
    ASSERT_EQ(run.result, kNoErr);
    EXPECT_EQ(run.buffersLeftBehind, 0);
    EXPECT_EQ(host.bufferMemory().liveBlocks, 0);
    EXPECT_EQ(globalMemoryLiveBlocks(), globalBefore);
    EXPECT_EQ(host.protocolErrors(), 0);
}

// Checks the warped result of a constant document: inside the disc the source colour, outside it
// transparent (layer) or black (flat), every pixel between written, and outside the filter
// rectangle the document as it was.
void expectConstantDisc(const Document& doc, const Document& before) {
    const Rect16 filter = filterRectOf(doc);
    const int32_t colourCount = colourPlanes(doc);
    const double full = fullScale(doc);
    const bool integer = doc.bitDepth != 32;
    const double step = integer ? 1.0 : 1e-5;
    // Each reduced level of an integer pyramid is about 0.6 percent brighter than the one
    // below, so where the map minifies the source the value rises a little.
    const double levelDrift = integer ? 0.006 : 0.0;
    double inside[4] = {0, 0, 0, full};
    for (int32_t p = 0; p < colourCount; p++) {
        double stored = sampleValue(before, 0, 0, p);
        // Integer gray is written as a luminance whose weights sum to 255/256.
        inside[p] = integer && colourCount == 1 ? std::floor(stored * 255 / 256) : stored;
    }

    for (int32_t y = 0; y < doc.height; y++) {
        for (int32_t x = 0; x < doc.width; x++) {
            bool inFilter = x >= filter.left && x < filter.right && y >= filter.top && y < filter.bottom;
            double r2 = radius2(filter, x, y);
            for (int32_t p = 0; p < planeCount(doc); p++) {
                double v = sampleValue(doc, x, y, p);
                double want = inside[p < colourCount ? p : 3];
                bool alpha = p == colourCount;
                if (!inFilter) {
                    ASSERT_EQ(v, sampleValue(before, x, y, p)) << x << "," << y;
                } else if (r2 < 0.5) {
                    ASSERT_GE(v, want - step) << x << "," << y << " plane " << p;
                    ASSERT_LE(v, want * (1 + levelDrift) + step) << x << "," << y << " plane " << p;
                } else if (r2 > 1.2 && (alpha || !doc.transparency)) {
                    ASSERT_EQ(v, 0) << x << "," << y << " plane " << p;
                } else {
                    ASSERT_FALSE(isPoison(doc, x, y, p)) << x << "," << y;
                }
            }
        }
    }
}

}  // namespace

TEST(FilterRun, ConstantSourceGivesAConstantDiscOnEveryKindOfDocument) {
    InProcessHost host(PluginMain);  // one loaded module for every run
    for (int32_t kind = 0; kind < 24; kind++) {
        int32_t depth = 8 << (kind / 8);
        ColourModel model = kind & 4 ? ColourModel::Rgb : ColourModel::Gray;
        bool layer = kind & 2;
        bool selection = kind & 1;
        SCOPED_TRACE(testing::Message() << depth << "-bit " << (kind & 4 ? "RGB" : "gray")
                                        << (layer ? " layer" : " flat") << (selection ? " with selection" : ""));
        Document doc = makeDocument(41, 29, depth, model, layer);
        doc.hasSelection = selection;
        doc.selection = Rect16{3, 5, 26, 38};
        double full = fullScale(doc);
        const double colour[4] = {0.2 * full, 0.6 * full, 0.8 * full, full};
        pinned::fillSamples(doc, [&](int32_t, int32_t, int32_t p) { return colour[p < colourPlanes(doc) ? p : 3]; });
        const Document before = doc;
        ASSERT_NO_FATAL_FAILURE(runCleanly(host, doc));
        ASSERT_NO_FATAL_FAILURE(expectConstantDisc(doc, before));
    }
}

// Rows render on every thread the run has, in strips of rows side by side: every thread count
// gives the bits of one thread, on every kind of document, odd sizes and a thin one. Under the
// sanitizers eight threads alone, the most strips and seams between them.
TEST(FilterRun, EveryThreadCountGivesTheBitsOfOne) {
    const std::vector<int32_t> threadCounts = kUnderSanitizers ? std::vector<int32_t>{8} : std::vector<int32_t>{2, 3, 8};
    InProcessHost host(PluginMain);
    for (const pinned::PinnedRun& kind : pinned::kPinnedRuns) {
        for (auto [width, height] : {std::pair{43, 211}, {3, 150}, {700, 40}}) {
            Document source = makeDocument(width, height, kind.bitDepth, kind.model, kind.layer);
            const Document pattern = pinned::pinnedSource(kind);
            pinned::fillSamples(source, [&](int32_t x, int32_t y, int32_t p) {
                return sampleValue(pattern, x % pattern.width, y % pattern.height, p);
            });
            Document one = source;
            setRunThreads(1);
            ASSERT_NO_FATAL_FAILURE(runCleanly(host, one));
            for (int32_t threads : threadCounts) {
                Document many = source;
                setRunThreads(threads);
                ASSERT_NO_FATAL_FAILURE(runCleanly(host, many));
                EXPECT_EQ(many.samples, one.samples) << kind.bitDepth << "-bit, " << planeCount(source) << " planes, "
                                                     << width << " x " << height << ", " << threads << " threads";
            }
        }
    }
    setRunThreads(0);
}

// Every vector instruction set the processor has gives the portable code's bits: the pinned
// runs, and documents of every depth larger than a tile, whose reads cross tile seams and whose
// pyramids have many levels.
TEST(FilterRun, EveryInstructionSetGivesThePortableBits) {
    InProcessHost host(PluginMain);
    std::vector<Document> portable;
    for (int32_t level = 0; level <= static_cast<int32_t>(processorSimdLevel()); level++) {
        setRunSimd(static_cast<SimdLevel>(level));
        for (const pinned::PinnedRun& kind : pinned::kPinnedRuns) {
            Document doc = pinned::pinnedSource(kind);
            ASSERT_NO_FATAL_FAILURE(runCleanly(host, doc));
            EXPECT_EQ(pinned::digestOf(doc), kind.digest) << simdLevelName(static_cast<SimdLevel>(level)) << ", "
                                                          << kind.bitDepth << "-bit, " << planeCount(doc) << " planes";
        }
        for (int32_t depth : {8, 16, 32}) {
            const pinned::PinnedRun& kind = pinned::kPinnedRuns[depth / 16 * 4 + 3];  // RGB layers
            Document doc = makeDocument(600, 530, depth, ColourModel::Rgb, true);
            const Document pattern = pinned::pinnedSource(kind);
            pinned::fillSamples(doc, [&](int32_t x, int32_t y, int32_t p) {
                return sampleValue(pattern, (x * 3) % 67, (y * 5 + x) % 53, p);
            });
            ASSERT_NO_FATAL_FAILURE(runCleanly(host, doc));
            if (level == 0) portable.push_back(doc);
            else EXPECT_EQ(doc.samples, portable[static_cast<size_t>(depth / 16)].samples)
                << simdLevelName(static_cast<SimdLevel>(level)) << ", " << depth << "-bit";
        }
    }
    setRunSimd(SimdLevel::Avx512);
}

// The rows rendered ahead share the row-record buffer with the lanes, so rendering on two
// threads asks the host for no more memory than rendering on one, but the second's job record.
TEST(FilterRun, TwoThreadsNeedNoMoreMemoryThanOne) {
    int64_t peak[2];
    for (int32_t threads : {1, 2}) {
        InProcessHost host(PluginMain);
        Document doc = makeDocument(1500, 300, 32, ColourModel::Rgb, true);
        setRunThreads(threads);
        ASSERT_NO_FATAL_FAILURE(runCleanly(host, doc));
        peak[threads - 1] = host.bufferMemory().peakBytes + host.handleMemory().peakBytes;
    }
    setRunThreads(0);
    EXPECT_LE(peak[1], peak[0] + kJobRecordBytes);
}
