// The output renderer: corner lines, the classification of each pixel by its corners and
// centre, the single samples taken in batches, the sub-sample patterns of rim pixels with their
// footprints, and the history of the corner lines a lane restores when it starts mid-pass.
#include "warp/renderer.h"

#include <initializer_list>

#include "platform/check.h"
#include "warp/row_lanes.h"

namespace {

// Sub-sample offsets of one pattern: columns and rows first .. last, each offset times its
// step, so the samples run from -0.5 to +0.5 of the pixel, edges included.
struct SamplePattern {
    int32_t firstColumn, lastColumn;
    int32_t firstRow, lastRow;
    float stepX, stepY;
};

float patternStep(int32_t first, int32_t last) {
    return last > first ? static_cast<float>(1.0 / static_cast<double>(last - first)) : 0.0f;
}

SamplePattern samplePattern(PixelSampling sampling) {
    SamplePattern p = {0, 0, 0, 0, 0.0f, 0.0f};
    switch (sampling) {
        case PixelSampling::Across: p.firstColumn = -20, p.lastColumn = 20; break;
        case PixelSampling::Down: p.firstRow = -20, p.lastRow = 20; break;
        case PixelSampling::Grid:
            p.firstColumn = p.firstRow = -3;
            p.lastColumn = p.lastRow = 3;
            break;
        case PixelSampling::None:
        case PixelSampling::Single: break;
    }
    p.stepX = patternStep(p.firstColumn, p.lastColumn);
    p.stepY = patternStep(p.firstRow, p.lastRow);
    return p;
}

Vec2f sourceOf(const MapResult& r) { return {r.s, r.t}; }
bool sameSide(const MapResult& a, const MapResult& b) { return a.inside == b.inside; }

// The mirror of q through c, the difference formed first.
Vec2f mirror(Vec2f c, Vec2f q) {
    Vec2f d = {q.x - c.x, q.y - c.y};
    return {c.x - d.x, c.y - d.y};
}

float average(float p, float q) { return static_cast<float>(static_cast<double>(p + q) * 0.5); }

// The centre of the corner quad: the means of the right and left pairs, then their mean.
Vec2f cornerCentre(Vec2f tl, Vec2f tr, Vec2f bl, Vec2f br) {
    return {average(average(tr.x, br.x), average(bl.x, tl.x)), average(average(tr.y, br.y), average(bl.y, tl.y))};
}

CornerState cornerAt(const CornerColumns& columns, int32_t k, int32_t slot) {
    return {columns.inside[slot][k] != 0, columns.outsideTexture[slot][k] != 0};
}

Vec2f sourceAt(const CornerColumns& columns, int32_t k, int32_t slot) { return {columns.s[slot][k], columns.t[slot][k]}; }

// The classification of pixel x, whose centre's plane y is `centreY`: top corners from the
// previous corner line, bottom ones from the current.
PixelSampling classifyAt(const RenderLane* lane, int32_t x, double centreY) {
    int32_t cur = lane->parity, prev = cur ^ 1;
    const CornerColumns& c = lane->columns;
    return classifyPixel(cornerAt(c, x, prev), cornerAt(c, x + 1, prev), cornerAt(c, x, cur), cornerAt(c, x + 1, cur),
                         !outsideDisc({c.centreX[x], centreY}));
}

// The single sample of pixel x: at the centre of its corner quad, with the bottom-left and
// top-right corners as the neighbours of the bottom-right one.
void addSingleSample(const RenderLane* lane, int32_t x, SampleLanes* requests, int32_t i) {
    int32_t cur = lane->parity, prev = cur ^ 1;
    const CornerColumns& c = lane->columns;
    Vec2f tl = sourceAt(c, x, prev), tr = sourceAt(c, x + 1, prev);
    Vec2f bl = sourceAt(c, x, cur), br = sourceAt(c, x + 1, cur);
    Vec2f centre = cornerCentre(tl, tr, bl, br);
    requests->n1x[i] = bl.x, requests->n1y[i] = bl.y;
    requests->n2x[i] = tr.x, requests->n2y[i] = tr.y;
    requests->px[i] = br.x, requests->py[i] = br.y;
    requests->sx[i] = centre.x, requests->sy[i] = centre.y;
}

// A pixel's colour from its samples' sums: the alpha-weighted mean colour and the mean alpha.
// The reciprocal of the alpha sum stays in double; each product is rounded once to float.
void finishPixel(float sumR, float sumG, float sumB, float sumA, float count, float colour[4]) {
    if (sumA > 0.0f) {
        double reciprocal = 1.0 / static_cast<double>(sumA);
        colour[0] = static_cast<float>(sumR * reciprocal);
        colour[1] = static_cast<float>(sumG * reciprocal);
        colour[2] = static_cast<float>(sumB * reciprocal);
        colour[3] = sumA / count;
    } else {
        colour[0] = sumR;
        colour[1] = sumG;
        colour[2] = sumB;
        colour[3] = sumA;
    }
}

// A pixel of one sample: its colour weighted by its alpha, summed as the sub-samples are.
void finishSingle(const float sample[4], float colour[4]) {
    float a = sample[3];
    finishPixel(0.0f + a * sample[0], 0.0f + a * sample[1], 0.0f + a * sample[2], 0.0f + a, 1.0f, colour);
}

// The sub-samples of a pixel, one after another: each mapped with its own footprint and
// filtered where it lies inside the disc, transparent black elsewhere.
void sampleSubSamples(RenderLane* lane, const float* px, const float* py, int32_t count, float (*samples)[4]) {
    for (int32_t k = 0; k < count; k++) {
        MapResult c = {};
        SampleFootprint f;
        mapSampleFootprint(px[k], py[k], lane, &c, &f);
        float* sample = samples[k];
        sample[0] = sample[1] = sample[2] = sample[3] = 0.0f;
        if (c.inside) {
            sampleFiltered(f.bottomLeft.x, f.bottomLeft.y, f.topRight.x, f.topRight.y, f.bottomRight.x,
                           f.bottomRight.y, c.s, c.t, lane->source, sample, kFootprintReduction, &lane->lod);
        }
    }
}

#if defined(VELORUND_X86)
void sampleSubSamplesSse2(RenderLane* lane, const float* px, const float* py, int32_t count, float (*samples)[4]) {
    sampleSubSamplesInLanes<4>(lane, px, py, count, samples);
}
#include "platform/simd_avx2_begin.h"
void sampleSubSamplesAvx2(RenderLane* lane, const float* px, const float* py, int32_t count, float (*samples)[4]) {
    sampleSubSamplesInLanes<8>(lane, px, py, count, samples);
}
#include "platform/simd_target_end.h"
#include "platform/simd_avx512_begin.h"
void sampleSubSamplesAvx512(RenderLane* lane, const float* px, const float* py, int32_t count,
                            float (*samples)[4]) {
    sampleSubSamplesInLanes<8>(lane, px, py, count, samples);
}
#include "platform/simd_target_end.h"
#endif

// The sub-samples of a pattern, taken in the lanes of the run's instruction set where the map
// has its grid; colours weighted by alpha, so transparent samples add nothing but coverage.
void supersample(RenderLane* lane, int32_t x, int32_t y, const SamplePattern& pattern, float colour[4]) {
    constexpr int32_t kMaxSubSamples = 49;
    float px[kMaxSubSamples] = {}, py[kMaxSubSamples] = {};
    int32_t subSamples = 0;
    for (int32_t j = pattern.firstRow; j <= pattern.lastRow; j++) {
        for (int32_t i = pattern.firstColumn; i <= pattern.lastColumn; i++, subSamples++) {
            float dx = static_cast<float>(i) * pattern.stepX;
            float dy = static_cast<float>(j) * pattern.stepY;
            px[subSamples] = static_cast<float>((static_cast<double>(dx) - 0.5) + x);
            py[subSamples] = static_cast<float>((static_cast<double>(dy) - 0.5) + y);
        }
    }
    float samples[kMaxSubSamples][4];
    switch (lane->frame.grid ? lane->source->simd : SimdLevel::Portable) {
#if defined(VELORUND_X86)
        case SimdLevel::Sse2: sampleSubSamplesSse2(lane, px, py, subSamples, samples); break;
        case SimdLevel::Avx2: sampleSubSamplesAvx2(lane, px, py, subSamples, samples); break;
        case SimdLevel::Avx512: sampleSubSamplesAvx512(lane, px, py, subSamples, samples); break;
#endif
        default: sampleSubSamples(lane, px, py, subSamples, samples); break;
    }

    float sumR = 0.0f, sumG = 0.0f, sumB = 0.0f, sumA = 0.0f, count = 0.0f;
    for (int32_t k = 0; k < subSamples; k++) {
        const float* sample = samples[k];
        count += 1.0f;
        sumR += sample[3] * sample[0];
        sumG += sample[3] * sample[1];
        sumB += sample[3] * sample[2];
        sumA += sample[3];
    }
    finishPixel(sumR, sumG, sumB, sumA, count, colour);
}

// Pixels of one sample whose samples wait to be taken together, in the order they came.
struct PendingPixels {
    static constexpr int32_t kCapacity = 8;
    int32_t x[kCapacity];
    SampleLanes requests;
    int32_t count = 0;
};

// Takes the waiting samples in one batch and stores their pixels.
void flushPending(RenderLane* lane, PendingPixels* pending, const OutputRow* outputRow) {
    if (pending->count == 0) return;
    float samples[PendingPixels::kCapacity][4];
    sampleFilteredLanes(&pending->requests, pending->count, lane->source, kFootprintReduction, &lane->lod, samples);
    for (int32_t i = 0; i < pending->count; i++) {
        float colour[4];
        finishSingle(samples[i], colour);
        writeOutputPixel(outputRow, pending->x[i], colour);
    }
    pending->count = 0;
}

// The row's pixels from the two corner lines, each stored in the output row once finished.
void renderPixels(RenderLane* lane, int32_t y, const OutputRow* outputRow) {
    PendingPixels pending;
    double centreY = planeY(lane->frame, static_cast<float>(y) - 0.5f);
    for (int32_t x = 0; x < lane->width; x++) {
        // Pixels of one sample wait to be sampled together; one off the disc touches no state.
        // A supersampled pixel may read the level of detail the waiting ones leave: they go first.
        PixelSampling sampling = classifyAt(lane, x, centreY);
        if (sampling == PixelSampling::Single) {
            pending.x[pending.count] = x;
            addSingleSample(lane, x, &pending.requests, pending.count++);
            if (pending.count == PendingPixels::kCapacity) flushPending(lane, &pending, outputRow);
            continue;
        }
        if (sampling != PixelSampling::None) flushPending(lane, &pending, outputRow);
        float colour[4];
        renderPixel(lane, x, y, sampling, colour);
        writeOutputPixel(outputRow, x, colour);
    }
    flushPending(lane, &pending, outputRow);
}

bool insideAt(const MapFrame& frame, int32_t column, int32_t line) {
    return !outsideDisc(planePoint(frame, static_cast<float>(column), static_cast<float>(line)));
}

// The corner line of a pass nearest the disc's horizontal diameter: the plane y of the lines
// grows with the line, and from this line on its size does too, so along any column the lines
// inside the disc from here down are a run that starts here.
int32_t middleLineOf(const MapFrame& frame, int32_t height) {
    auto planeY = [&](int32_t line) { return planePoint(frame, 0.0f, static_cast<float>(line)).y; };
    int32_t low = -1, high = height - 1;  // the first line whose plane y is not negative
    while (low < high) {
        int32_t mid = low + (high - low) / 2;
        if (planeY(mid) < 0.0) low = mid + 1;
        else high = mid;
    }
    bool above = low > -1 && -planeY(low - 1) <= planeY(low);
    return above ? low - 1 : low;
}

// For every column, the last corner line inside the disc, searched from the middle line down
// (-2 for a column no line of which is inside there).
void findLastInsideLines(RenderLane* lane) {
    int32_t height = lane->source->levelHeight[0];
    for (int32_t k = 0; k <= lane->width; k++) {
        int32_t column = k - 1;
        int32_t last = -2;
        if (insideAt(lane->frame, column, lane->middleLine)) {
            int32_t low = lane->middleLine, high = height;  // inside at low, outside from high on
            while (high - low > 1) {
                int32_t mid = low + (high - low) / 2;
                if (insideAt(lane->frame, column, mid)) low = mid;
                else high = mid;
            }
            last = low;
        }
        lane->columns.lastInsideLine[k] = last;
    }
    lane->historyKnown = 1;
}

// The line whose mapping a column's slot holds when line `line` is about to be mapped into it:
// the last line before, two apart, at which the column lies inside the disc (an outside corner
// leaves the slot's coordinates as they were), or -2 when none is.
int32_t historyLine(const RenderLane* lane, int32_t k, int32_t line) {
    int32_t column = k - 1;
    int32_t before = line - 2;
    if (before < -1) return -2;
    if (insideAt(lane->frame, column, before)) return before;
    // Outside above the disc: every line before is too. Outside below it: the column's last
    // inside line, or the one before it, whichever the slot takes.
    if (before < lane->middleLine) return -2;
    int32_t last = lane->columns.lastInsideLine[k];
    if (last < -1) return -2;
    if (((line - last) & 1) == 0) return last;
    return last - 1 >= -1 && insideAt(lane->frame, column, last - 1) ? last - 1 : -2;
}

// Fills both corner-line slots of every column record as rendering rows 0 .. row - 1 from the
// top would have left them for row `row`: what a slot carries into a row is the source position
// of the last line, two apart, at which its corner was inside the disc, or the missing position.
// Only the coordinates matter: the mapping of the next line writes which side each lies on.
void restoreCornerHistory(RenderLane* lane, int32_t row) {
    if (!lane->historyKnown) findLastInsideLines(lane);
    CornerColumns& c = lane->columns;
    for (int32_t k = 0; k <= lane->width; k++) {
        for (int32_t line : {row - 1, row}) {
            int32_t slot = line & 1;
            int32_t from = historyLine(lane, k, line);
            MapResult mapped = {c.inside[slot][k] != 0, kMissingPosition, kMissingPosition};
            if (from >= -1) mapPosition(lane->frame, static_cast<float>(k - 1), static_cast<float>(from), &mapped);
            c.inside[slot][k] = mapped.inside ? -1 : 0;
            c.s[slot][k] = mapped.s;
            c.t[slot][k] = mapped.t;
        }
    }
    lane->parity = row & 1;  // the toggle before the top line names that line's slot
}

}  // namespace

PixelSampling classifyPixel(CornerState topLeft, CornerState topRight, CornerState bottomLeft,
                            CornerState bottomRight, bool centreInside) {
    auto differ = [](CornerState a, CornerState b) {
        return a.inside != b.inside || a.outsideTexture != b.outsideTexture;
    };
    bool across = differ(bottomLeft, bottomRight) || differ(topLeft, topRight);
    bool down = differ(bottomRight, topRight) || differ(bottomLeft, topLeft);
    if (across && down) return PixelSampling::Grid;
    if (across) return PixelSampling::Across;
    if (down) return PixelSampling::Down;
    if (centreInside != bottomRight.inside) return PixelSampling::Grid;
    return centreInside ? PixelSampling::Single : PixelSampling::None;
}

void setupRenderLane(RenderLane* lane, const ImageBuffer* source, const MapFrame& frame,
                     ColumnRecord* records, int32_t width) {
    lane->parity = 0;
    lane->nextRow = -1;
    lane->width = width;
    lane->historyKnown = false;
    lane->source = source;
    lane->frame = frame;
    lane->middleLine = middleLineOf(frame, source->levelHeight[0]);

    // The arrays one after another, each aligned for its type: 52 bytes a corner and one a
    // pixel fit the 124 bytes of the corner's column record.
    uintptr_t next = reinterpret_cast<uintptr_t>(records);
    size_t corners = static_cast<size_t>(width) + 1;
    auto take = [&]<typename T>(T** array) {
        next = (next + alignof(T) - 1) & ~(uintptr_t{alignof(T)} - 1);
        *array = reinterpret_cast<T*>(next);
        next += corners * sizeof(T);
    };
    CornerColumns& c = lane->columns;
    take(&c.cornerX);
    take(&c.centreX);
    for (int32_t slot = 0; slot < 2; slot++) {
        take(&c.s[slot]);
        take(&c.t[slot]);
        take(&c.inside[slot]);
        take(&c.outsideTexture[slot]);
    }
    take(&c.lastInsideLine);
    take(&c.sampling);
    VELORUND_CHECK(next <= reinterpret_cast<uintptr_t>(records + width + 4));

    for (int32_t k = 0; k <= width; k++) {
        c.cornerX[k] = planeX(frame, static_cast<float>(k - 1));
        c.centreX[k] = planeX(frame, static_cast<float>(k) - 0.5f);
    }
}

#if defined(VELORUND_X86)
static void renderRowSse2(RenderLane* lane, int32_t row, const OutputRow* outputRow) {
    renderRowInLanes<4>(lane, row, outputRow);
}
#include "platform/simd_avx2_begin.h"
static void renderRowAvx2(RenderLane* lane, int32_t row, const OutputRow* outputRow) {
    renderRowInLanes<8>(lane, row, outputRow);
}
#include "platform/simd_target_end.h"
#include "platform/simd_avx512_begin.h"
static void renderRowAvx512(RenderLane* lane, int32_t row, const OutputRow* outputRow) {
    renderRowInLanes<8>(lane, row, outputRow);
}
#include "platform/simd_target_end.h"
#endif

void renderRow(RenderLane* lane, int32_t row, const OutputRow* outputRow) {
    // A row that does not follow the last one starts from the history of the rows above it.
    if (row != lane->nextRow) {
        restoreCornerHistory(lane, row);
        mapCornerLine(lane, row - 1);
    }

    // The row's bottom edge, then its pixels, then out into the output row.
    switch (lane->source->simd) {
#if defined(VELORUND_X86)
        case SimdLevel::Sse2: renderRowSse2(lane, row, outputRow); break;
        case SimdLevel::Avx2: renderRowAvx2(lane, row, outputRow); break;
        case SimdLevel::Avx512: renderRowAvx512(lane, row, outputRow); break;
#endif
        default:
            mapCornerLine(lane, row);
            renderPixels(lane, row, outputRow);
            break;
    }
    lane->nextRow = row + 1;
}

void mapCornerLine(RenderLane* lane, int32_t line) {
    lane->parity ^= 1;
    int32_t p = lane->parity;
    double y = planeY(lane->frame, static_cast<float>(line));
    CornerColumns& c = lane->columns;
    for (int32_t k = 0; k <= lane->width; k++) {
        MapResult slot = {false, c.s[p][k], c.t[p][k]};
        mapPlanePoint(lane->frame, {c.cornerX[k], y}, &slot);
        c.s[p][k] = slot.s;
        c.t[p][k] = slot.t;
        c.inside[p][k] = slot.inside ? -1 : 0;
        c.outsideTexture[p][k] = slot.s < 0.0f || slot.s > 1.0f || slot.t < 0.0f || slot.t > 1.0f ? -1 : 0;
    }
}

PixelSampling pixelSamplingAt(const RenderLane* lane, int32_t x, int32_t y) {
    return classifyAt(lane, x, planeY(lane->frame, static_cast<float>(y) - 0.5f));
}

void renderPixel(RenderLane* lane, int32_t x, int32_t y, PixelSampling sampling, float colour[4]) {
    switch (sampling) {
        case PixelSampling::None:
            colour[0] = colour[1] = colour[2] = colour[3] = 0.0f;
            return;
        case PixelSampling::Single: {
            SampleLanes r;
            addSingleSample(lane, x, &r, 0);
            float sample[4];
            sampleFiltered(r.n1x[0], r.n1y[0], r.n2x[0], r.n2y[0], r.px[0], r.py[0], r.sx[0], r.sy[0], lane->source,
                           sample, kFootprintReduction, &lane->lod);
            finishSingle(sample, colour);
            return;
        }
        case PixelSampling::Across:
        case PixelSampling::Down:
        case PixelSampling::Grid: supersample(lane, x, y, samplePattern(sampling), colour); return;
    }
}

void mapSampleFootprint(float px, float py, const RenderLane* lane, MapResult* centre,
                        SampleFootprint* footprint) {
    auto map = [&](float x, float y, MapResult* out) {
        mapPosition(lane->frame, x, y, out);
    };
    MapResult& c = *centre;
    map(px, py, &c);
    Vec2f s = sourceOf(c);

    // Neighbours half a pixel away: bottom-right, top-right, bottom-left, top-left. Only those
    // on the sample's side of the rim count; a missing side is mirrored through the centre.
    MapResult d = {}, e = {}, f = {}, g = {};
    bool eMapped = false, fMapped = false;
    map(px + 0.5f, py + 0.5f, &d);
    if (sameSide(d, c)) {
        map(px + 0.5f, py - 0.5f, &e);
        eMapped = true;
        if (sameSide(e, c)) {
            *footprint = {sourceOf(e), mirror(s, sourceOf(e)), sourceOf(d)};
            return;
        }
        map(px - 0.5f, py + 0.5f, &f);
        fMapped = true;
        if (sameSide(f, c)) {
            *footprint = {mirror(s, sourceOf(f)), sourceOf(f), sourceOf(d)};
            return;
        }
    }

    map(px - 0.5f, py - 0.5f, &g);
    if (sameSide(g, c)) {
        if (!eMapped) map(px + 0.5f, py - 0.5f, &e);
        if (sameSide(e, c)) {
            *footprint = {sourceOf(e), mirror(s, sourceOf(e)), mirror(s, sourceOf(g))};
            return;
        }
        if (!fMapped) map(px - 0.5f, py + 0.5f, &f);
        if (sameSide(f, c)) {
            *footprint = {mirror(s, sourceOf(f)), sourceOf(f), mirror(s, sourceOf(g))};
            return;
        }
    }

    // No neighbour on this side: the sampler falls back to the last level of detail.
    Vec2f missing = {kMissingPosition, kMissingPosition};
    *footprint = {missing, missing, missing};
}
