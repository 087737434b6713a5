// The output renderer: corner lines, the classification of each pixel by its corners and
// centre, the sub-sample patterns of rim pixels with their footprints, the write-out of a
// finished row, and the history of the corner lines a lane restores when it starts mid-pass.
#include "warp/renderer.h"

#include <cmath>
#include <cstring>
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

SamplePattern samplePattern(int32_t differenceBits) {
    SamplePattern p = {0, 0, 0, 0, 0.0f, 0.0f};
    switch (differenceBits) {
        case 1: p.firstColumn = -20, p.lastColumn = 20; break;  // 41 across
        case 2: p.firstRow = -20, p.lastRow = 20; break;        // 41 down
        case 3:                                                  // 7 x 7
            p.firstColumn = p.firstRow = -3;
            p.lastColumn = p.lastRow = 3;
            break;
        default: break;                                          // one sample
    }
    p.stepX = patternStep(p.firstColumn, p.lastColumn);
    p.stepY = patternStep(p.firstRow, p.lastRow);
    return p;
}

bool hasColour(const MapResult& r) { return r.status != kMapOutsideDisc && r.status != kMapNoColour; }
bool sameSide(const MapResult& a, const MapResult& b) { return a.status == b.status && a.kind == b.kind; }
Vec2f sourceOf(const MapResult& r) { return {r.s, r.t}; }

// The mirror of q through c, the difference formed first. An axis that wraps takes the
// shorter way round.
float mirrorCoordinate(float c, float q, bool wraps) {
    float d = q - c;
    if (wraps) {
        if (d > 0.5f) d -= 1.0f;
        if (d < -0.5f) d += 1.0f;
    }
    return c - d;
}
Vec2f mirror(Vec2f c, Vec2f q, const ImageBuffer* source) {
    return {mirrorCoordinate(c.x, q.x, source->wrapMode != kWrapClamp),
            mirrorCoordinate(c.y, q.y, source->wrapMode == 1)};
}

// The mean of two corner coordinates, a missing one (-1) giving way to the other. On an axis
// that wraps, values more than half apart meet across the seam; s is then folded back into
// 0..1.
float averageCoordinate(float p, float q, bool wraps, bool fold) {
    if (p == kMissingPosition) return q;
    if (q == kMissingPosition) return p;
    if (wraps && std::fabs(p - q) > 0.5f) {
        float lower = p < q ? p : q;
        float higher = p < q ? q : p;
        float mean = static_cast<float>(static_cast<double>(lower + 1.0f + higher) * 0.5);
        return fold ? mean - std::floor(mean) : mean;
    }
    return static_cast<float>(static_cast<double>(p + q) * 0.5);
}

// The centre of the corner quad: the means of the right and left pairs, then their mean.
Vec2f cornerCentre(Vec2f tl, Vec2f tr, Vec2f bl, Vec2f br, const ImageBuffer* source) {
    bool wrapS = source->wrapMode != kWrapClamp;
    bool wrapT = source->wrapMode == 1;
    float rightT = averageCoordinate(tr.y, br.y, wrapT, false);
    float leftT = averageCoordinate(bl.y, tl.y, wrapT, false);
    float rightS = averageCoordinate(tr.x, br.x, wrapS, true);
    float leftS = averageCoordinate(bl.x, tl.x, wrapS, true);
    return {averageCoordinate(rightS, leftS, wrapS, true),
            averageCoordinate(rightT, leftT, wrapT, false)};
}

// The four corners of pixel x: top-left and top-right from the previous corner line, the
// bottom ones from the current.
struct PixelCorners {
    const MapResult* tl;
    const MapResult* tr;
    const MapResult* bl;
    const MapResult* br;
};
PixelCorners cornersOf(const ColumnRecord* columns, int32_t x, int32_t cur) {
    int32_t prev = cur ^ 1;
    return {&columns[x].mapSlot[prev], &columns[x + 1].mapSlot[prev], &columns[x].mapSlot[cur],
            &columns[x + 1].mapSlot[cur]};
}

// One lane's colour for one sub-sample of pixel (x, y); transparent black off the disc.
void sampleLane(int32_t x, int32_t y, float dx, float dy, float reduction, RenderLane* lane,
                const ImageBuffer* source, int32_t mode, const PixelCornerState* state,
                float out[4]) {
    memset(out, 0, 4 * sizeof(float));

    if (mode == kRenderSupersampled) {
        float px = static_cast<float>((static_cast<double>(dx) - 0.5) + x);
        float py = static_cast<float>((static_cast<double>(dy) - 0.5) + y);
        MapResult c = {};
        SampleFootprint f;
        mapSampleFootprint(px, py, source, lane, &c, &f);
        if (!hasColour(c)) return;
        lane->lod.reuseLod = 0;
        sampleFiltered(f.bottomLeft.x, f.bottomLeft.y, f.topRight.x, f.topRight.y,
                       f.bottomRight.x, f.bottomRight.y, c.s, c.t, source, out, reduction,
                       &lane->lod);
        return;
    }

    PixelCorners corners = cornersOf(lane->columns, x, lane->parity);
    if (!hasColour(*corners.br)) return;
    Vec2f br = sourceOf(*corners.br);
    Vec2f bl = br, tr = br, centre = br;
    if (state->kindDifferenceBits == 0) {
        bl = sourceOf(*corners.bl);
        tr = sourceOf(*corners.tr);
        centre = cornerCentre(sourceOf(*corners.tl), tr, bl, br, source);
    }
    if (mode == kRenderFiltered) {
        sampleFiltered(bl.x, bl.y, tr.x, tr.y, br.x, br.y, centre.x, centre.y, source, out,
                       reduction, &lane->lod);
    } else {
        sampleNearest(bl.x, bl.y, tr.x, tr.y, br.x, br.y, centre.x, centre.y, source, out,
                      reduction, &lane->lod);
    }
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

// The common case, straight: a pixel whose four corners agree in status, kind and texture
// range, and whose centre lies on their side of the rim, is one filtered sample at the centre
// of its corner quad, or transparent off the disc, exactly as classifyPixelCorners would render
// it. Any other pixel is left to classifyPixelCorners.
enum class Agreement { Inside, Outside, Neither };

Agreement agreementOf(RenderLane* lane, int32_t x, double centreY, SampleRequest* request) {
    PixelCorners c = cornersOf(lane->columns, x, lane->parity);
    int32_t cur = lane->parity, prev = cur ^ 1;
    const ColumnRecord& left = lane->columns[x];
    const ColumnRecord& right = lane->columns[x + 1];
    int32_t status = c.br->status, kind = c.br->kind, outside = right.outsideTexture[cur];
    if (c.bl->status != status || c.tr->status != status || c.tl->status != status ||
        c.bl->kind != kind || c.tr->kind != kind || c.tl->kind != kind ||
        left.outsideTexture[cur] != outside || left.outsideTexture[prev] != outside ||
        right.outsideTexture[prev] != outside) {
        return Agreement::Neither;
    }
    bool centreOutside = outsideDisc({left.centreX, centreY});
    if (status != (centreOutside ? kMapOutsideDisc : kMapMapped) || kind != (centreOutside ? 0 : kMapKindMapped)) {
        return Agreement::Neither;
    }
    lane->lod.reuseLod = 0;
    if (!hasColour(*c.br)) return Agreement::Outside;
    Vec2f br = sourceOf(*c.br), bl = sourceOf(*c.bl), tr = sourceOf(*c.tr);
    Vec2f centre = cornerCentre(sourceOf(*c.tl), tr, bl, br, lane->source);
    *request = {bl.x, bl.y, tr.x, tr.y, br.x, br.y, centre.x, centre.y};
    return Agreement::Inside;
}

// Pixels inside the disc whose samples wait to be taken together, in the order they came.
struct PendingPixels {
    static constexpr int32_t kCapacity = 2 * kSampleBatch;
    int32_t x[kCapacity];
    SampleRequest requests[kCapacity];
    int32_t count = 0;
};

// Takes the waiting samples in one batch and stores their pixels: each a single sample's
// colour weighted by its alpha, as renderPixel sums it.
void flushPending(RenderLane* lane, PendingPixels* pending, const OutputRow* outputRow) {
    if (pending->count == 0) return;
    float samples[PendingPixels::kCapacity][4];
    lane->lod.reuseLod = 0;
    sampleFilteredBatch(pending->requests, pending->count, lane->source, kFootprintReduction, &lane->lod, samples);
    for (int32_t i = 0; i < pending->count; i++) {
        const float* sample = samples[i];
        float a = sample[3], colour[4];
        finishPixel(0.0f + a * sample[0], 0.0f + a * sample[1], 0.0f + a * sample[2], 0.0f + a, 1.0f, colour);
        writeOutputPixel(outputRow, pending->x[i], colour);
    }
    pending->count = 0;
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
// Only the coordinates matter: the mapping of the next line writes status and kind.
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

void setupRenderLane(RenderLane* lane, const ImageBuffer* source, ImageBuffer* mapGrid,
                     ColumnRecord* columns, int32_t width, int32_t step, int32_t originX,
                     int32_t originY) {
    lane->parity = 0;
    lane->nextRow = -1;
    lane->width = width;
    lane->historyKnown = 0;
    lane->source = source;
    lane->columns = columns;
    lane->mapGrid = mapGrid;
    lane->step = step;
    lane->originX = originX;
    lane->originY = originY;
    lane->frame = mapFrameOf(step, originX, originY, source, mapGrid);
    lane->middleLine = middleLineOf(lane->frame, source->levelHeight[0]);
    for (int32_t k = 0; k <= width; k++) {
        columns[k].cornerX = planeX(lane->frame, static_cast<float>(k - 1));
        columns[k].centreX = planeX(lane->frame, static_cast<float>(k) - 0.5f);
    }
}

void readyRenderLane(RenderLane* lane) {
    ensureMapGrid(lane->mapGrid);
    lane->frame = mapFrameOf(lane->step, lane->originX, lane->originY, lane->source, lane->mapGrid);
}

void renderRow(RenderLane* lane, int32_t row, const OutputRow* outputRow) {
    if (!lane->frame.nodes) readyRenderLane(lane);

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

void renderPixels(RenderLane* lane, int32_t y, const OutputRow* outputRow) {
    PixelCornerState state;
    PendingPixels pending;
    double centreY = planeY(lane->frame, static_cast<float>(y) - 0.5f);
    const float transparent[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t x = 0; x < lane->width; x++) {
        // Pixels inside the disc wait to be sampled together; one outside it touches no state.
        // Any other pixel may read the level of detail the waiting ones leave: they go first.
        SampleRequest request;
        Agreement agreement = agreementOf(lane, x, centreY, &request);
        if (agreement == Agreement::Inside) {
            pending.x[pending.count] = x;
            pending.requests[pending.count++] = request;
            if (pending.count == PendingPixels::kCapacity) flushPending(lane, &pending, outputRow);
            continue;
        }
        if (agreement == Agreement::Outside) {
            writeOutputPixel(outputRow, x, transparent);
            continue;
        }
        flushPending(lane, &pending, outputRow);
        float colour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        classifyPixelCorners(colour, kFootprintReduction, lane->source, lane->columns, x, y,
                             lane->parity, lane, kDispatchCheckCentre, 1, &state);
        writeOutputPixel(outputRow, x, colour);
    }
    flushPending(lane, &pending, outputRow);
}

void classifyPixelCorners(float colour[4], float reduction, const ImageBuffer* source,
                          ColumnRecord* columns, int32_t x, int32_t y, int32_t cur,
                          RenderLane* lanes, int32_t dispatchCode, int32_t laneCount,
                          PixelCornerState* state) {
    PixelCorners c = cornersOf(columns, x, cur);
    int32_t prev = cur ^ 1;
    int32_t outBR = columns[x + 1].outsideTexture[cur];
    int32_t outBL = columns[x].outsideTexture[cur];
    int32_t outTR = columns[x + 1].outsideTexture[prev];
    int32_t outTL = columns[x].outsideTexture[prev];

    const MapResult* order[4] = {c.br, c.bl, c.tr, c.tl};
    for (int i = 0; i < 4; i++) {
        state->cornerStatus[i] = order[i]->status;
        state->cornerKind[i] = order[i]->kind;
    }

    // Left against right, then top against bottom, in status, kind and texture range.
    bool across = c.bl->status != c.br->status || c.tl->status != c.tr->status ||
                  c.tl->kind != c.tr->kind || c.bl->kind != c.br->kind || outTL != outTR ||
                  outBL != outBR;
    bool down = c.br->status != c.tr->status || c.bl->status != c.tl->status ||
                c.bl->kind != c.tl->kind || c.br->kind != c.tr->kind || outBL != outTL ||
                outBR != outTR;
    state->differenceBits = (across ? 1 : 0) | (down ? 2 : 0);
    bool kindAcross = c.tl->kind != c.tr->kind || c.bl->kind != c.br->kind;
    bool kindDown = c.bl->kind != c.tl->kind || c.br->kind != c.tr->kind;
    state->kindDifferenceBits = (kindAcross ? 1 : 0) | (kindDown ? 2 : 0);

    // A pixel across a boundary reuses each lane's last level of detail.
    for (int32_t l = 0; l < laneCount; l++) lanes[l].lod.reuseLod = state->differenceBits != 0;

    if (dispatchCode == kDispatchCheckCentre) {
        checkPixelCentre(x, y, reduction, colour, lanes, source, laneCount, state);
    } else if (dispatchCode == kDispatchFiltered) {
        renderPixel(x, y, reduction, colour, lanes, source, kRenderFiltered, laneCount, state);
    } else if (dispatchCode == kDispatchNearest) {
        renderPixel(x, y, reduction, colour, lanes, source, kRenderNearest, laneCount, state);
    }
}

void checkPixelCentre(int32_t x, int32_t y, float reduction, float colour[4], RenderLane* lanes,
                      const ImageBuffer* source, int32_t laneCount, PixelCornerState* state) {
    if (state->differenceBits != 0) {
        renderPixel(x, y, reduction, colour, lanes, source, kRenderSupersampled, laneCount, state);
        return;
    }

    // Corners that agree can still hide the rim inside the pixel: its centre must agree too. On
    // which side of the rim a position lies is all the comparison needs of its mapping.
    bool centreOutside = outsideDisc({lanes->columns[x].centreX, planeY(lanes->frame, static_cast<float>(y) - 0.5f)});
    int32_t centreStatus = centreOutside ? kMapOutsideDisc : kMapMapped;
    int32_t centreKind = centreOutside ? 0 : kMapKindMapped;
    if (centreStatus == state->cornerStatus[0] && centreKind == state->cornerKind[0]) {
        renderPixel(x, y, reduction, colour, lanes, source, kRenderFiltered, laneCount, state);
    } else {
        state->differenceBits = 3;
        renderPixel(x, y, reduction, colour, lanes, source, kRenderSupersampled, laneCount, state);
    }
}

void renderPixel(int32_t x, int32_t y, float reduction, float colour[4], RenderLane* lanes,
                 const ImageBuffer* source, int32_t mode, int32_t laneCount,
                 PixelCornerState* state) {
    if (mode == kRenderFiltered || mode == kRenderNearest) state->differenceBits = 0;
    SamplePattern pattern = samplePattern(state->differenceBits);

    float sumR = 0.0f, sumG = 0.0f, sumB = 0.0f, sumA = 0.0f, count = 0.0f;
    for (int32_t j = pattern.firstRow; j <= pattern.lastRow; j++) {
        for (int32_t i = pattern.firstColumn; i <= pattern.lastColumn; i++) {
            float dx = static_cast<float>(i) * pattern.stepX;
            float dy = static_cast<float>(j) * pattern.stepY;

            // The lanes, front to back, composited until the sample is opaque.
            float running[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (int32_t l = 0; l < laneCount; l++) {
                float laneColour[4];
                sampleLane(x, y, dx, dy, reduction, &lanes[l], source, mode, state, laneColour);
                compositeOver(running, laneColour);
                memcpy(running, laneColour, sizeof running);
                if (running[3] >= 0.999f) break;
            }

            // Colour weighted by alpha, so transparent samples add nothing but coverage.
            count += 1.0f;
            sumR += running[3] * running[0];
            sumG += running[3] * running[1];
            sumB += running[3] * running[2];
            sumA += running[3];
        }
    }

    finishPixel(sumR, sumG, sumB, sumA, count, colour);
}

void mapSampleFootprint(float px, float py, const ImageBuffer* source, const RenderLane* lane,
                        MapResult* centre, SampleFootprint* footprint) {
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
            *footprint = {sourceOf(e), mirror(s, sourceOf(e), source), sourceOf(d)};
            return;
        }
        map(px - 0.5f, py + 0.5f, &f);
        fMapped = true;
        if (sameSide(f, c)) {
            *footprint = {mirror(s, sourceOf(f), source), sourceOf(f), sourceOf(d)};
            return;
        }
    }

    map(px - 0.5f, py - 0.5f, &g);
    if (sameSide(g, c)) {
        if (!eMapped) map(px + 0.5f, py - 0.5f, &e);
        if (sameSide(e, c)) {
            *footprint = {sourceOf(e), mirror(s, sourceOf(e), source), mirror(s, sourceOf(g), source)};
            return;
        }
        if (!fMapped) map(px - 0.5f, py + 0.5f, &f);
        if (sameSide(f, c)) {
            *footprint = {mirror(s, sourceOf(f), source), sourceOf(f), mirror(s, sourceOf(g), source)};
            return;
        }
    }

    // No neighbour on this side: the sampler falls back to the last level of detail.
    Vec2f missing = {kMissingPosition, kMissingPosition};
    *footprint = {missing, missing, missing};
}

void compositeOver(const float front[4], float back[4]) {
    float a = front[3];
    if (!(a > 0.0f)) return;
    float k = a / (back[3] + a - back[3] * a);
    for (int i = 0; i < 3; i++) back[i] += (front[i] - back[i]) * k;
    back[3] = (1.0f - back[3]) * a + back[3];
}
