// The renderer's row loops in vector lanes, N columns or pixels at a time, each lane doing the
// scalar renderer's operations (renderer.cpp) in the same order: the corner line mapped through
// the grid, the pixels classified, the single samples of agreeing pixels taken together through
// the sampler's lanes, their colours finished and converted for the host. Supersampled pixels,
// and pixels whose colour spills past full intensity, take the scalar way one at a time.
//
// As in the sampler's lanes, a float sum or product the scalar code forms in double and rounds
// to float is the float operation itself where both operands are floats (double carries more
// than twice float's precision); every other double of the scalar code is a double here too.
#pragma once

#include <cstdint>

#include "platform/lanes.h"
#include "sampling/sampler_lanes.h"
#include "warp/output_pixel.h"
#include "warp/renderer.h"
#include "warp/square_to_disc.h"

namespace row_lanes {

// interpolateNodes in lanes.
template <int N>
VELORUND_LANE_INLINE void interpolateNodesLanes(const MapGrid& grid, typename Lanes<N>::F gx, typename Lanes<N>::F gy,
                                                typename Lanes<N>::F* x, typename Lanes<N>::F* y) {
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;
    using Wide = typename V::Wide;
    constexpr int32_t kLastNode = kMapGridNodes - 1;
    auto cellOf = [](F g) VELORUND_LANE_LAMBDA {
        g = V::select(g > -1024.0f, g, F{} - 1024.0f);
        g = V::select(g > 1024.0f, F{} + 1024.0f, g);
        return V::select(g >= 0.0f, V::truncate(g), V::truncate(g - 1.0f));
    };
    I ix = cellOf(gx), iy = cellOf(gy);
    F fx = gx - V::toFloat(ix);
    F fy = gy - V::toFloat(iy);

    // Lower-left triangle (weights of P00, P10, P01) or upper-right (P11, P10, P01).
    I lower = fx + fy <= 1.0f;
    F wxUpper = 1.0f - fy;
    F wyUpper = 1.0f - fx;
    Wide w = V::select(V::widenMask(lower), (1.0 - V::widen(fx)) - V::widen(fy),
                       (1.0 - V::widen(wxUpper)) - V::widen(wyUpper));
    F weight = V::narrow(w);
    F weightX = V::select(lower, fx, wxUpper);
    F weightY = V::select(lower, fy, wyUpper);

    I column0 = V::select(ix < 0, I{}, V::select(ix > kLastNode, I{} + kLastNode, ix));
    I column1 = V::select(ix + 1 < 0, I{}, V::select(ix + 1 > kLastNode, I{} + kLastNode, ix + 1));
    I row0 = V::select(iy < 0, I{}, V::select(iy > kLastNode, I{} + kLastNode, iy));
    I row1 = V::select(iy + 1 < 0, I{}, V::select(iy + 1 > kLastNode, I{} + kLastNode, iy + 1));
    I corner = V::select(lower, row0 * kMapGridNodes + column0, row1 * kMapGridNodes + column1);
    I p10 = row0 * kMapGridNodes + column1, p01 = row1 * kMapGridNodes + column0;
    // Each node's (x, y) taken as one 64-bit lane, then split into x and y lanes.
    auto gather = [&](I index, F* x, F* y) VELORUND_LANE_LAMBDA {
        const float* nodes = &grid.nodes[0][0][0];
        auto pairAt = [&](int32_t node) VELORUND_LANE_LAMBDA {
            double pair;
            std::memcpy(&pair, nodes + 2 * node, sizeof pair);
            return pair;
        };
        Wide pairs;
        for (int32_t i = 0; i < N / 2; i++) pairs.lo[i] = pairAt(index[i]), pairs.hi[i] = pairAt(index[i + N / 2]);
        V::deinterleave(pairs, x, y);
    };
    F cx, cy, p10x, p10y, p01x, p01y;
    gather(corner, &cx, &cy);
    gather(p10, &p10x, &p10y);
    gather(p01, &p01x, &p01y);
    *x = cx * weight + p10x * weightX + p01x * weightY;
    *y = cy * weight + p10y * weightX + p01y * weightY;
}

// The texture coordinates of plane points (x, y) inside the disc, mapped through the grid;
// lanes outside keep `s` and `t`.
template <int N>
VELORUND_LANE_INLINE void mapPlaneLanes(const MapGrid& grid, typename Lanes<N>::Wide x, typename Lanes<N>::Wide y,
                                        typename Lanes<N>::I inside, typename Lanes<N>::F* s,
                                        typename Lanes<N>::F* t) {
    using V = Lanes<N>;
    using F = typename V::F;
    using Wide = typename V::Wide;
    constexpr double kGridScale = kMapGridNodes - 1;
    auto magnitude = [](Wide v) VELORUND_LANE_LAMBDA { return V::select(v < 0.0, 0.0 - v, v); };
    F squareX, squareY;
    interpolateNodesLanes<N>(grid, V::narrow(magnitude(x) * kGridScale), V::narrow(magnitude(y) * kGridScale),
                             &squareX, &squareY);
    Wide signX = V::select(x < 0.0, Wide{} - 1.0, Wide{} + 1.0);
    Wide signY = V::select(y < 0.0, Wide{} - 1.0, Wide{} + 1.0);
    *s = V::select(inside, V::narrow((V::widen(squareX) * signX) * 0.5 + 0.5), *s);
    *t = V::select(inside, V::narrow((V::widen(squareY) * signY) * 0.5 + 0.5), *t);
}

// mapCornerLine in lanes; a frame without its grid takes the scalar way.
template <int N>
VELORUND_LANE_INLINE void mapCornerLineLanes(RenderLane* lane, int32_t line) {
    if (!lane->frame.grid) {
        mapCornerLine(lane, line);
        return;
    }
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;
    using Wide = typename V::Wide;
    lane->parity ^= 1;
    const int32_t p = lane->parity;
    CornerColumns& c = lane->columns;
    const double y = planeY(lane->frame, static_cast<float>(line));
    const double yy = y * y;
    const Wide yLanes = Wide{} + y;
    const int32_t corners = lane->width + 1;
    for (int32_t k = 0; k < corners; k += N) {
        int32_t n = corners - k < N ? corners - k : N;
        Wide x = V::loadWide(c.cornerX + k, n);
        I inside = V::narrowMask(~(x * x + yy > 1.0));
        F s = V::template loadSome<F>(c.s[p] + k, n);
        F t = V::template loadSome<F>(c.t[p] + k, n);
        if (V::any(inside)) mapPlaneLanes<N>(*lane->frame.grid, x, yLanes, inside, &s, &t);
        I outsideTexture = (s < 0.0f) | (s > 1.0f) | (t < 0.0f) | (t > 1.0f);
        V::storeSome(c.s[p] + k, s, n);
        V::storeSome(c.t[p] + k, t, n);
        V::storeSome(c.inside[p] + k, inside, n);
        V::storeSome(c.outsideTexture[p] + k, outsideTexture, n);
    }
}

// The sampling of every pixel of row y, as classifyPixel gives it, into c.sampling.
template <int N>
VELORUND_LANE_INLINE void classifyRowLanes(RenderLane* lane, int32_t y) {
    using V = Lanes<N>;
    using I = typename V::I;
    using Wide = typename V::Wide;
    CornerColumns& c = lane->columns;
    const int32_t cur = lane->parity, prev = cur ^ 1;
    const double centreY = planeY(lane->frame, static_cast<float>(y) - 0.5f);
    const double centreYY = centreY * centreY;
    for (int32_t x = 0; x < lane->width; x += N) {
        int32_t n = lane->width - x < N ? lane->width - x : N;
        auto at = [&](const int32_t* field, int32_t offset) VELORUND_LANE_LAMBDA { return V::template loadSome<I>(field + x + offset, n); };
        I tlIn = at(c.inside[prev], 0), trIn = at(c.inside[prev], 1);
        I blIn = at(c.inside[cur], 0), brIn = at(c.inside[cur], 1);
        I tlOut = at(c.outsideTexture[prev], 0), trOut = at(c.outsideTexture[prev], 1);
        I blOut = at(c.outsideTexture[cur], 0), brOut = at(c.outsideTexture[cur], 1);
        I across = (blIn ^ brIn) | (blOut ^ brOut) | (tlIn ^ trIn) | (tlOut ^ trOut);
        I down = (brIn ^ trIn) | (brOut ^ trOut) | (blIn ^ tlIn) | (blOut ^ tlOut);
        Wide centreX = V::loadWide(c.centreX + x, n);
        I centreIn = V::narrowMask(~(centreX * centreX + centreYY > 1.0));
        I hidden = ~across & ~down & (centreIn ^ brIn);
        I sampling = V::select(centreIn, I{} + static_cast<int32_t>(PixelSampling::Single),
                               I{} + static_cast<int32_t>(PixelSampling::None));
        sampling = V::select(hidden | (across & down), I{} + static_cast<int32_t>(PixelSampling::Grid), sampling);
        sampling = V::select(across & ~down, I{} + static_cast<int32_t>(PixelSampling::Across), sampling);
        sampling = V::select(down & ~across, I{} + static_cast<int32_t>(PixelSampling::Down), sampling);
        V::storeSome(c.sampling + x, __builtin_convertvector(sampling, typename VectorOf<uint8_t, N>::type), n);
    }
}

// The colours of `count` single samples, finished as a pixel of one sample is (colour weighted
// by alpha, the alpha sum's reciprocal in double) and written into the output row, N pixels in
// lanes; pixels that spill past full intensity and float documents are written as
// writeOutputPixel writes them.
template <int N>
VELORUND_LANE_INLINE void writeSingles(const OutputRow* row, const int32_t* xs, int32_t count,
                                       const float (*samples)[4]) {
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;
    using Wide = typename V::Wide;
    const OutputFormat& f = row->format;
    const bool integer = f.sample == OutputSample::Int8 || f.sample == OutputSample::Int16;
    const bool packed8 = f.sample == OutputSample::Int8 && f.colourPlanes == 3 &&
                         ((f.planes == 3 && f.alphaPlane < 0) || (f.planes == 4 && f.alphaPlane == 3));
    for (int32_t first = 0; first < count; first += N) {
        int32_t n = count - first < N ? count - first : N;
        F channel[4];
        const float* rows[N];
        for (int32_t i = 0; i < N; i++) rows[i] = samples[first + (i < n ? i : n - 1)];
        V::transpose4(rows, channel);
        F a = channel[3];
        F sum[3] = {0.0f + a * channel[0], 0.0f + a * channel[1], 0.0f + a * channel[2]};
        F sumA = 0.0f + a;
        I positive = sumA > 0.0f;
        Wide reciprocal = 1.0 / V::widen(sumA);
        F colour[4];
        for (int32_t ch = 0; ch < 3; ch++)
            colour[ch] = V::select(positive, V::narrow(V::widen(sum[ch]) * reciprocal), sum[ch]);
        colour[3] = sumA / 1.0f;
        auto writeAlone = [&](int32_t i) VELORUND_LANE_LAMBDA {
            const float pixel[4] = {colour[0][i], colour[1][i], colour[2][i], colour[3][i]};
            writeOutputPixel(row, xs[first + i], pixel);
        };
        if (!integer) {
            for (int32_t i = 0; i < n; i++) writeAlone(i);
            continue;
        }

        // Integer samples: colour truncated (the lanes past full intensity alone), alpha lifted
        // by 1.007 and limited.
        const float scale = f.colourScale;
        const float limit = static_cast<float>(f.maximum + 1);
        F r = colour[0] * scale, g = colour[1] * scale, b = colour[2] * scale;
        I plain = (r < limit) & (g < limit) & (b < limit);
        I v0 = V::truncate(r) & (r > 0.0f), v1 = V::truncate(g) & (g > 0.0f), v2 = V::truncate(b) & (b > 0.0f);
        if (f.luma) v0 = (v0 * 77 + v1 * 150 + v2 * 28) >> 8;
        Wide lifted = V::widen(colour[3] * scale) * 1.007;
        const double alphaMaximum = f.alphaMaximum;
        I below = V::narrowMask(lifted < alphaMaximum);
        I alpha = V::select(below, V::truncate(V::select(V::widenMask(below), lifted, Wide{})), I{} + f.alphaMaximum);
        alpha = alpha & V::narrowMask(lifted > 0.0);
        if (packed8) {
            I word = v0 | (v1 << 8) | (v2 << 16) | (alpha << 24);
            const size_t pixelBytes = static_cast<size_t>(f.planes);
            // Neighbours of four samples each, none spilling: their words side by side.
            if (pixelBytes == 4 && n == N && xs[first + N - 1] == xs[first] + N - 1 && V::all(plain)) {
                V::store(reinterpret_cast<int32_t*>(row->destination + 4 * static_cast<size_t>(xs[first])), word);
                continue;
            }
            for (int32_t i = 0; i < n; i++) {
                if (!plain[i]) {
                    writeAlone(i);
                    continue;
                }
                uint32_t pixel = static_cast<uint32_t>(word[i]);
                uint8_t* to = row->destination + pixelBytes * static_cast<size_t>(xs[first + i]);
                if (pixelBytes == 4) std::memcpy(to, &pixel, 4);
                else std::memcpy(to, &pixel, 3);
            }
            continue;
        }
        for (int32_t i = 0; i < n; i++) {
            if (!plain[i]) {
                writeAlone(i);
                continue;
            }
            const int32_t v[3] = {v0[i], v1[i], v2[i]};
            if (f.sample == OutputSample::Int8) storeIntegerPixel<uint8_t>(row, xs[first + i], v, alpha[i]);
            else storeIntegerPixel<uint16_t>(row, xs[first + i], v, alpha[i]);
        }
    }
}

// Single samples waiting to be taken together, in the order their pixels came.
template <int N>
struct Singles {
    int32_t x[N];
    int32_t count = 0;
};

template <int N>
VELORUND_LANE_INLINE void takeSingles(RenderLane* lane, Singles<N>* singles, TileBlockKernel kernel,
                                      const OutputRow* row, float* slotRadius) {
    using V = Lanes<N>;
    using F = typename V::F;
    if (singles->count == 0) return;
    const CornerColumns& c = lane->columns;
    const int32_t cur = lane->parity, prev = cur ^ 1;
    const int32_t n = singles->count;
    F tlx, tly, trx, try_, blx, bly, brx, bry;
    const int32_t x0 = singles->x[0];
    if (n == N && singles->x[N - 1] == x0 + N - 1) {
        // A run of neighbours: their corners side by side.
        tlx = V::template load<F>(c.s[prev] + x0), tly = V::template load<F>(c.t[prev] + x0);
        trx = V::template load<F>(c.s[prev] + x0 + 1), try_ = V::template load<F>(c.t[prev] + x0 + 1);
        blx = V::template load<F>(c.s[cur] + x0), bly = V::template load<F>(c.t[cur] + x0);
        brx = V::template load<F>(c.s[cur] + x0 + 1), bry = V::template load<F>(c.t[cur] + x0 + 1);
    } else {
        for (int32_t i = 0; i < N; i++) {
            int32_t x = singles->x[i < n ? i : n - 1];
            tlx[i] = c.s[prev][x], tly[i] = c.t[prev][x], trx[i] = c.s[prev][x + 1], try_[i] = c.t[prev][x + 1];
            blx[i] = c.s[cur][x], bly[i] = c.t[cur][x], brx[i] = c.s[cur][x + 1], bry[i] = c.t[cur][x + 1];
        }
    }
    // The centre of the corner quad: the means of the right and left pairs, then their mean.
    auto average = [](F p, F q) VELORUND_LANE_LAMBDA { return (p + q) * 0.5f; };
    SampleLanes requests;
    V::store(requests.n1x, blx), V::store(requests.n1y, bly);
    V::store(requests.n2x, trx), V::store(requests.n2y, try_);
    V::store(requests.px, brx), V::store(requests.py, bry);
    V::store(requests.sx, average(average(trx, brx), average(blx, tlx)));
    V::store(requests.sy, average(average(try_, bry), average(bly, tly)));
    float samples[N][4];
    sampleFilteredInLanes<N>(&requests, n, lane->source, kFootprintReduction, kernel, &lane->lod, slotRadius,
                             samples);
    writeSingles<N>(row, singles->x, n, samples);
    singles->count = 0;
}

// mapPosition in lanes: the plane point of output positions (px, py), whether it lies inside
// the disc and there its texture coordinates (the others keep s and t).
template <int N>
VELORUND_LANE_INLINE typename Lanes<N>::I mapPositionLanes(const MapFrame& frame, typename Lanes<N>::F px,
                                                           typename Lanes<N>::F py, typename Lanes<N>::F* s,
                                                           typename Lanes<N>::F* t) {
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;
    auto plane = [](F position, float twiceSize) VELORUND_LANE_LAMBDA {
        F half = position + 0.5f;
        return (V::widen((half + 1.0f + half) / twiceSize) - 0.5) * 2.0;
    };
    typename V::Wide x = plane(px, frame.twiceWidth), y = plane(py, frame.twiceHeight);
    I inside = V::narrowMask(~(x * x + y * y > 1.0));
    if (V::any(inside)) mapPlaneLanes<N>(*frame.grid, x, y, inside, s, t);
    return inside;
}

}  // namespace row_lanes

// The samples of a supersampled pixel's sub-samples at (px, py), in order, as the scalar
// renderer takes them one after another: each mapped with the neighbours half a pixel away on
// its side of the rim as its footprint (mapSampleFootprint), sampled with the lane's slot where
// it lies inside the disc, transparent black elsewhere. The map must have its grid.
template <int N>
VELORUND_LANE_INLINE void sampleSubSamplesInLanes(RenderLane* lane, const float* px, const float* py, int32_t count,
                                                  float (*samples)[4]) {
    using V = Lanes<N>;
    using F = typename V::F;
    using I = typename V::I;
    const TileBlockKernel kernel = tileBlockKernel(lane->source->simd, lane->source->imageMode);
    const MapFrame& frame = lane->frame;
    for (int32_t first = 0; first < count; first += N) {
        int32_t n = count - first < N ? count - first : N;
        F x = V::template loadSome<F>(px + first, n), y = V::template loadSome<F>(py + first, n);

        // The sample and its neighbours half a pixel away: bottom-right, top-right, bottom-left
        // and top-left; the coordinates of those outside the disc stay 0.
        F cs = {}, ct = {}, ds = {}, dt = {}, es = {}, et = {}, fs = {}, ft = {}, gs = {}, gt = {};
        I c = row_lanes::mapPositionLanes<N>(frame, x, y, &cs, &ct);
        I d = row_lanes::mapPositionLanes<N>(frame, x + 0.5f, y + 0.5f, &ds, &dt);
        I e = row_lanes::mapPositionLanes<N>(frame, x + 0.5f, y - 0.5f, &es, &et);
        I f = row_lanes::mapPositionLanes<N>(frame, x - 0.5f, y + 0.5f, &fs, &ft);
        I g = row_lanes::mapPositionLanes<N>(frame, x - 0.5f, y - 0.5f, &gs, &gt);

        // The footprint from the neighbours on the sample's side: the top-right and bottom-left
        // ones, one mirrored through the sample when its side lacks it, and the bottom-right or
        // the mirrored top-left; none when no pair lies on its side.
        I sameD = ~(d ^ c), sameE = ~(e ^ c), sameF = ~(f ^ c), sameG = ~(g ^ c);
        I byE = (sameD | sameG) & sameE;                 // top-right from E, bottom-left mirrored
        I byF = (sameD | sameG) & ~sameE & sameF;        // bottom-left from F, top-right mirrored
        I fromD = sameD & (sameE | sameF);               // bottom-right from D, else mirrored G
        auto mirror = [](F centre, F q) VELORUND_LANE_LAMBDA { return centre - (q - centre); };
        F trX = V::select(byE, es, mirror(cs, fs)), trY = V::select(byE, et, mirror(ct, ft));
        F blX = V::select(byE, mirror(cs, es), fs), blY = V::select(byE, mirror(ct, et), ft);
        F brX = V::select(fromD, ds, mirror(cs, gs)), brY = V::select(fromD, dt, mirror(ct, gt));
        I missing = ~(byE | byF);
        const F kMissing = F{} + kMissingPosition;
        trX = V::select(missing, kMissing, trX), trY = V::select(missing, kMissing, trY);
        blX = V::select(missing, kMissing, blX), blY = V::select(missing, kMissing, blY);
        brX = V::select(missing, kMissing, brX), brY = V::select(missing, kMissing, brY);

        sampler_lanes::sampleLanes<N>(blX, blY, trX, trY, brX, brY, cs, ct, c & (V::laneIndex() < n), n,
                                      lane->source, kFootprintReduction, kernel, &lane->lod, nullptr, samples + first);
    }
}

// mapCornerLine and the pixels of row y in lanes, as renderRow maps and renders them.
template <int N>
VELORUND_LANE_INLINE void renderRowInLanes(RenderLane* lane, int32_t y, const OutputRow* row) {
    row_lanes::mapCornerLineLanes<N>(lane, y);
    row_lanes::classifyRowLanes<N>(lane, y);
    const TileBlockKernel kernel = tileBlockKernel(lane->source->simd, lane->source->imageMode);
    const uint8_t* sampling = lane->columns.sampling;
    row_lanes::Singles<N> singles;
    // The radius whose level the slot is to take, formed only where it is read: by a
    // supersampled pixel, and once the row is done.
    float slotRadius = 0.0f;
    auto settleSlot = [&]() VELORUND_LANE_LAMBDA {
        if (slotRadius > 0.0f) lane->lod.cachedLod = lodOfRadius(slotRadius);
        slotRadius = 0.0f;
    };
    for (int32_t x = 0; x < lane->width; x++) {
        // Pixels of one sample wait to be taken together; one off the disc touches no state.
        // A supersampled pixel may read the level of detail the waiting ones leave: they go first.
        PixelSampling s = static_cast<PixelSampling>(sampling[x]);
        if (s == PixelSampling::Single) {
            // A run of them: the waiting ones filled up, then whole groups of neighbours.
            int32_t end = x + 1;
            while (end < lane->width && sampling[end] == static_cast<uint8_t>(PixelSampling::Single)) end++;
            for (; x < end; x++) {
                if (singles.count == 0 && end - x >= N) {
                    Lanes<N>::store(singles.x, Lanes<N>::laneIndex() + x);
                    singles.count = N;
                    x += N - 1;
                } else {
                    singles.x[singles.count++] = x;
                }
                if (singles.count == N) row_lanes::takeSingles<N>(lane, &singles, kernel, row, &slotRadius);
            }
            x = end - 1;
            continue;
        }
        if (s == PixelSampling::None) {
            int32_t end = x + 1;
            while (end < lane->width && sampling[end] == static_cast<uint8_t>(PixelSampling::None)) end++;
            writeTransparentRun(row, x, end);
            x = end - 1;
            continue;
        }
        row_lanes::takeSingles<N>(lane, &singles, kernel, row, &slotRadius);
        settleSlot();
        float colour[4];
        renderPixel(lane, x, y, s, colour);
        writeOutputPixel(row, x, colour);
    }
    row_lanes::takeSingles<N>(lane, &singles, kernel, row, &slotRadius);
    settleSlot();
}
