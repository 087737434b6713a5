// The output renderer: corner lines through the work queue, the classification of each pixel
// by its corners and centre, the sub-sample patterns of rim pixels with their footprints, and
// the write-out of a finished row.
#include "warp/renderer.h"

#include <cmath>
#include <cstring>

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
void finishPixel(float sumR, float sumG, float sumB, float sumA, float count, float colour[4]) {
    if (sumA > 0.0f) {
        double reciprocal = static_cast<float>(1.0 / static_cast<double>(sumA));
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
// of its corner quad (or transparent off the disc), exactly as classifyPixelCorners would
// render it. Any other pixel is left to classifyPixelCorners: false.
bool renderAgreeingPixel(RenderLane* lane, int32_t x, int32_t y, float colour[4]) {
    PixelCorners c = cornersOf(lane->columns, x, lane->parity);
    int32_t cur = lane->parity, prev = cur ^ 1;
    const ColumnRecord& left = lane->columns[x];
    const ColumnRecord& right = lane->columns[x + 1];
    int32_t status = c.br->status, kind = c.br->kind, outside = right.outsideTexture[cur];
    if (c.bl->status != status || c.tr->status != status || c.tl->status != status ||
        c.bl->kind != kind || c.tr->kind != kind || c.tl->kind != kind ||
        left.outsideTexture[cur] != outside || left.outsideTexture[prev] != outside ||
        right.outsideTexture[prev] != outside) {
        return false;
    }
    bool centreOutside = outsideDisc(planePoint(lane->frame, static_cast<float>(x) - 0.5f,
                                                static_cast<float>(y) - 0.5f));
    if (status != (centreOutside ? kMapOutsideDisc : kMapMapped) || kind != (centreOutside ? 0 : kMapKindMapped)) {
        return false;
    }

    lane->lod.reuseLod = 0;
    float sample[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (hasColour(*c.br)) {
        Vec2f br = sourceOf(*c.br), bl = sourceOf(*c.bl), tr = sourceOf(*c.tr);
        Vec2f centre = cornerCentre(sourceOf(*c.tl), tr, bl, br, lane->source);
        sampleFiltered(bl.x, bl.y, tr.x, tr.y, br.x, br.y, centre.x, centre.y, lane->source, sample,
                       kFootprintReduction, &lane->lod);
    }
    float a = sample[3];
    finishPixel(0.0f + a * sample[0], 0.0f + a * sample[1], 0.0f + a * sample[2], 0.0f + a, 1.0f, colour);
    return true;
}

// Maps one corner line (output row position `row`, columns -1 .. width - 1) into the slot the
// toggled parity names. The grid is built first if it is not yet, outside any job.
void mapCornerLine(RenderLane* lane, int32_t row) {
    enqueueRangeJobs(lane->queue, -1, lane->width - 1, mapCornerRow, lane, static_cast<uint32_t>(row));
    lane->parity ^= 1;
    ensureMapGrid(lane->mapGrid);
    lane->frame = mapFrameOf(lane->step, lane->originX, lane->originY, lane->source, lane->mapGrid);
    runJobs(lane->queue);
}

}  // namespace

void setupRenderLane(RenderLane* lane, const ImageBuffer* source, ImageBuffer* mapGrid,
                     ColumnRecord* columns, int32_t width, WorkQueue* queue, int32_t step,
                     int32_t originX, int32_t originY) {
    lane->parity = 0;
    lane->width = width;
    lane->source = source;
    lane->columns = columns;
    lane->mapGrid = mapGrid;
    lane->queue = queue;
    lane->step = step;
    lane->originX = originX;
    lane->originY = originY;
    lane->frame = mapFrameOf(step, originX, originY, source, mapGrid);
}

void renderRow(RenderLane* lane, int32_t row, const OutputRow* outputRow) {
    // The first row of a pass maps the image's top edge.
    if (row == 0) mapCornerLine(lane, -1);

    // The row's bottom edge, then its pixels, then out into the host's row.
    mapCornerLine(lane, row);
    enqueueRangeJobs(lane->queue, 0, lane->width - 1, renderSpan, lane, static_cast<uint32_t>(row));
    runJobs(lane->queue);
    writeOutputRow(outputRow, lane->columns[0].colour, sizeof(ColumnRecord) / sizeof(float), lane->width);
}

void mapCornerRow(const JobRecord* job) {
    const RenderLane* lane = static_cast<const RenderLane*>(job->context);
    int32_t p = lane->parity;
    float row = static_cast<float>(static_cast<int32_t>(job->parameter));
    for (int32_t c = job->stripFirst; c <= job->stripLast; c++) {
        ColumnRecord& record = lane->columns[c + 1];
        MapResult& slot = record.mapSlot[p];
        mapPosition(lane->frame, static_cast<float>(c), row, &slot);
        record.outsideTexture[p] = slot.s < 0.0f || slot.s > 1.0f || slot.t < 0.0f || slot.t > 1.0f;
    }
}

void renderSpan(const JobRecord* job) {
    RenderLane* lane = static_cast<RenderLane*>(job->context);
    int32_t y = static_cast<int32_t>(job->parameter);
    PixelCornerState state;
    for (int32_t x = job->stripFirst; x <= job->stripLast; x++) {
        float colour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (!renderAgreeingPixel(lane, x, y, colour)) {
            classifyPixelCorners(colour, kFootprintReduction, lane->source, lane->columns, x, y,
                                 lane->parity, lane, kDispatchCheckCentre, 1, &state);
        }
        memcpy(lane->columns[x].colour, colour, sizeof colour);
    }
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
    bool centreOutside = outsideDisc(planePoint(lanes->frame, static_cast<float>(x) - 0.5f,
                                                static_cast<float>(y) - 0.5f));
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
