// The output renderer: corner lines, the classification of each pixel by its corners and
// centre, the single samples taken in batches, the sub-sample patterns of rim pixels with their
// footprints, and the history of the corner lines a lane restores when it starts mid-pass.
#include "warp/renderer.h"

#include <initializer_list>

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

CornerState cornerOf(const ColumnRecord& record, int32_t slot) {
    return {record.mapSlot[slot].inside, record.outsideTexture[slot]};
}

// The classification of pixel x, whose centre's plane y is `centreY`: top corners from the
// previous corner line, bottom ones from the current.
PixelSampling classifyAt(const RenderLane* lane, int32_t x, double centreY) {
    int32_t cur = lane->parity, prev = cur ^ 1;
    const ColumnRecord& left = lane->columns[x];
    const ColumnRecord& right = lane->columns[x + 1];
    return classifyPixel(cornerOf(left, prev), cornerOf(right, prev), cornerOf(left, cur), cornerOf(right, cur),
                         !outsideDisc({left.centreX, centreY}));
}

// The single sample of pixel x: at the centre of its corner quad, with the bottom-left and
// top-right corners as the neighbours of the bottom-right one.
SampleRequest singleSampleRequest(const RenderLane* lane, int32_t x) {
    int32_t cur = lane->parity, prev = cur ^ 1;
    Vec2f tl = sourceOf(lane->columns[x].mapSlot[prev]), tr = sourceOf(lane->columns[x + 1].mapSlot[prev]);
    Vec2f bl = sourceOf(lane->columns[x].mapSlot[cur]), br = sourceOf(lane->columns[x + 1].mapSlot[cur]);
    Vec2f centre = cornerCentre(tl, tr, bl, br);
    return {bl.x, bl.y, tr.x, tr.y, br.x, br.y, centre.x, centre.y};
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

// The sub-samples of a pattern, each mapped with its own footprint and filtered where it lies
// inside the disc (transparent black elsewhere); colours weighted by alpha, so transparent
// samples add nothing but coverage.
void supersample(RenderLane* lane, int32_t x, int32_t y, const SamplePattern& pattern, float colour[4]) {
    float sumR = 0.0f, sumG = 0.0f, sumB = 0.0f, sumA = 0.0f, count = 0.0f;
    for (int32_t j = pattern.firstRow; j <= pattern.lastRow; j++) {
        for (int32_t i = pattern.firstColumn; i <= pattern.lastColumn; i++) {
            float dx = static_cast<float>(i) * pattern.stepX;
            float dy = static_cast<float>(j) * pattern.stepY;
            float px = static_cast<float>((static_cast<double>(dx) - 0.5) + x);
            float py = static_cast<float>((static_cast<double>(dy) - 0.5) + y);
            MapResult c = {};
            SampleFootprint f;
            mapSampleFootprint(px, py, lane, &c, &f);
            float sample[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            if (c.inside) {
                sampleFiltered(f.bottomLeft.x, f.bottomLeft.y, f.topRight.x, f.topRight.y, f.bottomRight.x,
                               f.bottomRight.y, c.s, c.t, lane->source, sample, kFootprintReduction, &lane->lod);
            }
            count += 1.0f;
            sumR += sample[3] * sample[0];
            sumG += sample[3] * sample[1];
            sumB += sample[3] * sample[2];
            sumA += sample[3];
        }
    }
    finishPixel(sumR, sumG, sumB, sumA, count, colour);
}

// Pixels of one sample whose samples wait to be taken together, in the order they came.
struct PendingPixels {
    static constexpr int32_t kCapacity = 2 * kSampleBatch;
    int32_t x[kCapacity];
    SampleRequest requests[kCapacity];
    int32_t count = 0;
};

// Takes the waiting samples in one batch and stores their pixels.
void flushPending(RenderLane* lane, PendingPixels* pending, const OutputRow* outputRow) {
    if (pending->count == 0) return;
    float samples[PendingPixels::kCapacity][4];
    sampleFilteredBatch(pending->requests, pending->count, lane->source, kFootprintReduction, &lane->lod, samples);
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
            pending.requests[pending.count++] = singleSampleRequest(lane, x);
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
        lane->columns[k].lastInsideLine = last;
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
    int32_t last = lane->columns[k].lastInsideLine;
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
    for (int32_t k = 0; k <= lane->width; k++) {
        for (int32_t line : {row - 1, row}) {
            MapResult& slot = lane->columns[k].mapSlot[line & 1];
            int32_t from = historyLine(lane, k, line);
            slot.s = slot.t = kMissingPosition;
            if (from >= -1) mapPosition(lane->frame, static_cast<float>(k - 1), static_cast<float>(from), &slot);
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
                     ColumnRecord* columns, int32_t width) {
    lane->parity = 0;
    lane->nextRow = -1;
    lane->width = width;
    lane->historyKnown = false;
    lane->source = source;
    lane->columns = columns;
    lane->frame = frame;
    lane->middleLine = middleLineOf(frame, source->levelHeight[0]);
    for (int32_t k = 0; k <= width; k++) {
        columns[k].cornerX = planeX(frame, static_cast<float>(k - 1));
        columns[k].centreX = planeX(frame, static_cast<float>(k) - 0.5f);
    }
}

void renderRow(RenderLane* lane, int32_t row, const OutputRow* outputRow) {
    // A row that does not follow the last one starts from the history of the rows above it.
    if (row != lane->nextRow) {
        restoreCornerHistory(lane, row);
        mapCornerLine(lane, row - 1);
    }

    // The row's bottom edge, then its pixels, then out into the output row.
    mapCornerLine(lane, row);
    renderPixels(lane, row, outputRow);
    lane->nextRow = row + 1;
}

void mapCornerLine(RenderLane* lane, int32_t line) {
    lane->parity ^= 1;
    int32_t p = lane->parity;
    double y = planeY(lane->frame, static_cast<float>(line));
    for (int32_t c = -1; c < lane->width; c++) {
        ColumnRecord& record = lane->columns[c + 1];
        MapResult& slot = record.mapSlot[p];
        mapPlanePoint(lane->frame, {record.cornerX, y}, &slot);
        record.outsideTexture[p] = slot.s < 0.0f || slot.s > 1.0f || slot.t < 0.0f || slot.t > 1.0f;
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
            SampleRequest r = singleSampleRequest(lane, x);
            float sample[4];
            sampleFiltered(r.n1x, r.n1y, r.n2x, r.n2y, r.px, r.py, r.sx, r.sy, lane->source, sample,
                           kFootprintReduction, &lane->lod);
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
