// The square-to-disc mapping: which source position shows at a given output position. The
// output holds the whole source squeezed into the inscribed ellipse of the filter rectangle by
// the conformal map of the disc onto the square; positions outside the ellipse map to nothing.
// The map is read from a 100 x 100 grid of the first quadrant (the MapGrid, filled once per
// run from the stored table) by triangle interpolation, mirrored into the other quadrants.
//
// Positions are in output pixel units: pixel column x spans x - 1 .. x, its centre is x - 0.5;
// the same for rows. Results are texture coordinates 0..1 across the source image.
//
// The renderer maps through a MapFrame: the scale, offsets, source size and grid nodes that
// every position needs, gathered once, with the arithmetic inline below. The functions that
// take the buffers themselves give the same bits; they serve single positions.
#pragma once

#include <cstdint>

#include "image/image_buffer.h"

constexpr int32_t kMapMapped = 1;           // the position lies in the disc
constexpr int32_t kMapOutsideDisc = -5;     // the position lies outside the disc
constexpr int32_t kMapNoColour = -10001;    // a position without colour; the map never gives it
constexpr int32_t kMapKindMapped = 2;       // the kind of a mapped position, 0 otherwise
constexpr uint32_t kMapGridBuilt = 11;      // the MapGrid's content tag once it holds the map

// Status and kind of one mapped position, and its source texture coordinates. The coordinates
// are written only for a mapped position; otherwise they keep what the record held.
struct MapResult {
    int32_t status;
    int32_t kind;
    float s;
    float t;
};
static_assert(sizeof(MapResult) == 16);

struct Vec2f {
    float x, y;
};
struct Vec2d {
    double x, y;
};

// Normalised source coordinates (u, v) of an output position: 0 at the left and top edges of
// the source image, 1 at the right and bottom edges.
Vec2f normalisePosition(float positionX, float positionY, float step, float originX, float originY,
                        const ImageBuffer* source);

// The square point of a plane point; `outside` is set (and (0, 0) returned) when the point lies
// strictly outside the unit circle.
Vec2d discToSquare(Vec2d plane, const ImageBuffer* mapGrid, uint8_t* outside);

// The square point of a first-quadrant plane point; (0, 0) when the grid is not built.
Vec2d lookupMapGrid(Vec2d point, const ImageBuffer* mapGrid);

// Builds the grid unless it is built already or was never created (or its last creation
// failed: then every point maps to the square's centre). Lookups only read the grid, so this
// runs before any batch of mapping jobs.
void ensureMapGrid(ImageBuffer* mapGrid);

// Recreates the grid at 100 x 100 and fills it from the stored table, the upper triangle by
// mirroring; marks it built. On a failed creation the grid stays unmarked.
void buildMapGrid(ImageBuffer* mapGrid);

// Triangle interpolation of the built grid's square coordinates at grid position (gx, gy), nodes
// outside the grid clamped to its edge.
Vec2f interpolateMapGrid(float gx, float gy, const ImageBuffer* mapGrid);

// Maps one output position through the MapGrid into `out`.
void mapOutputPosition(float positionX, float positionY, int32_t step, int32_t originX,
                       int32_t originY, const ImageBuffer* source, const ImageBuffer* mapGrid,
                       MapResult* out);

// What mapping needs, gathered once: the output scale and offsets and twice the source's size
// as floats, and the built grid's nodes (four floats each, channel 0 the square X, 1 the Y).
struct MapFrame {
    float step, originX, originY;
    float twiceWidth, twiceHeight;
    double gridScale;     // the grid's last node index as a float: 99
    const float* nodes;   // null when the grid is not built: every point maps to the centre
    int32_t nodeStride;   // floats from one grid row to the next
    int32_t lastNodeX, lastNodeY;
};

// The frame of a source and its MapGrid; made again whenever the grid may have been built.
MapFrame mapFrameOf(int32_t step, int32_t originX, int32_t originY, const ImageBuffer* source,
                    const ImageBuffer* mapGrid);

// One coordinate of the plane point of an output position, -1 .. 1 across the filter
// rectangle: into source pixels, then half a pixel on, the addition made in double; then
// (2 t + 1) / 2W, so position -1 gives 0 and position W - 1 gives 1. x and y are independent,
// so a renderer can take a column's x or a row's y once.
inline double planeCoordinate(float position, float step, float origin, float twiceSize) {
    float t = static_cast<float>(static_cast<double>(position * step + origin) + 0.5);
    float u = (t + 1.0f + t) / twiceSize;
    return (static_cast<double>(u) - 0.5) * 2.0;
}
inline double planeX(const MapFrame& f, float positionX) {
    return planeCoordinate(positionX, f.step, f.originX, f.twiceWidth);
}
inline double planeY(const MapFrame& f, float positionY) {
    return planeCoordinate(positionY, f.step, f.originY, f.twiceHeight);
}

// The plane point of an output position.
inline Vec2d planePoint(const MapFrame& f, float positionX, float positionY) {
    return {planeX(f, positionX), planeY(f, positionY)};
}

// Only points strictly beyond the unit circle lie outside; the circle itself is inside.
inline bool outsideDisc(Vec2d plane) { return plane.x * plane.x + plane.y * plane.y > 1.0; }

// Triangle interpolation between the four nodes around grid position (gx, gy), nodes outside
// the grid clamped to its edge. The grid cell is the truncation, one lower for negative values
// (so a negative whole number also lands one cell lower); coordinates far off the grid (and
// NaN) are pinned so the conversion stays defined.
inline Vec2f interpolateNodes(const MapFrame& f, float gx, float gy) {
    auto cellOf = [](float g) {
        if (!(g > -1024.0f)) g = -1024.0f;
        if (g > 1024.0f) g = 1024.0f;
        return g >= 0.0f ? static_cast<int32_t>(g) : static_cast<int32_t>(g - 1.0f);
    };
    auto node = [&](int32_t i, int32_t j) {
        i = i < 0 ? 0 : i > f.lastNodeX ? f.lastNodeX : i;
        j = j < 0 ? 0 : j > f.lastNodeY ? f.lastNodeY : j;
        const float* n = f.nodes + j * f.nodeStride + 4 * i;
        return Vec2f{n[0], n[1]};
    };
    int32_t ix = cellOf(gx);
    int32_t iy = cellOf(gy);
    float fx = gx - static_cast<float>(ix);
    float fy = gy - static_cast<float>(iy);
    Vec2f p10 = node(ix + 1, iy);
    Vec2f p01 = node(ix, iy + 1);

    // Lower-left triangle: weights of P00, P10 and P01.
    if (fx + fy <= 1.0f) {
        Vec2f p00 = node(ix, iy);
        float w = static_cast<float>((1.0 - fx) - fy);
        return {p00.x * w + p10.x * fx + p01.x * fy, p00.y * w + p10.y * fx + p01.y * fy};
    }

    // Upper-right triangle: weights of P11, P10 and P01.
    Vec2f p11 = node(ix + 1, iy + 1);
    float wx = static_cast<float>(1.0 - fy);
    float wy = static_cast<float>(1.0 - fx);
    float w = static_cast<float>((1.0 - wx) - wy);
    return {p11.x * w + p10.x * wx + p01.x * wy, p11.y * w + p10.y * wx + p01.y * wy};
}

// The square point of a plane point inside the disc: the first quadrant's grid, mirrored.
inline Vec2d squarePoint(const MapFrame& f, Vec2d plane) {
    if (!f.nodes) return {0.0, 0.0};
    double a = plane.x < 0.0 ? -plane.x : plane.x;
    double b = plane.y < 0.0 ? -plane.y : plane.y;
    Vec2f square = interpolateNodes(f, static_cast<float>(a * f.gridScale), static_cast<float>(b * f.gridScale));
    return {static_cast<double>(square.x) * (plane.x < 0.0 ? -1.0 : 1.0),
            static_cast<double>(square.y) * (plane.y < 0.0 ? -1.0 : 1.0)};
}

// Maps the output position of a plane point into `out`; the source coordinates are written
// only inside the disc.
inline void mapPlanePoint(const MapFrame& f, Vec2d plane, MapResult* out) {
    out->kind = 0;
    if (outsideDisc(plane)) {
        out->status = kMapOutsideDisc;
        return;
    }
    Vec2d square = squarePoint(f, plane);
    out->kind = kMapKindMapped;
    out->status = kMapMapped;
    out->s = static_cast<float>(square.x * 0.5 + 0.5);
    out->t = static_cast<float>(square.y * 0.5 + 0.5);
}

// Maps one output position into `out`.
inline void mapPosition(const MapFrame& f, float positionX, float positionY, MapResult* out) {
    mapPlanePoint(f, planePoint(f, positionX, positionY), out);
}
