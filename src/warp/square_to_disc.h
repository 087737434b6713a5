// The square-to-disc mapping: which source position shows at a given output position. The
// output holds the whole source squeezed into the inscribed ellipse of the filter rectangle by
// the conformal map of the disc onto the square; positions outside the ellipse map to nothing.
// The map is read from a 100 x 100 grid of the first quadrant (the MapGrid, built once per run
// from the stored table) by triangle interpolation, mirrored into the other quadrants.
//
// Positions are in output pixel units: pixel column x spans x - 1 .. x, its centre is x - 0.5;
// the same for rows. Results are texture coordinates 0..1 across the source image.
//
// The renderer maps through a MapFrame: the grid and the source size that every position
// needs, gathered once per run, with the arithmetic inline below.
#pragma once

#include <cstdint>

#include "warp/map_grid_table.h"

// The first quadrant of the map: node (i, j), at nodes[j][i], holds the square point (X, Y) of
// the plane point (i / 99, j / 99). The run obtains it as working memory.
struct MapGrid {
    float nodes[kMapGridNodes][kMapGridNodes][2];
};

// Fills the grid from the stored table: the lower triangle (i <= j) as stored, the upper
// triangle by mirroring, so node (i, j) of the upper triangle holds (Y, X) of node (j, i). The
// mirror is written second, so a diagonal node holds its stored pair swapped.
void buildMapGrid(MapGrid* grid);

// One mapped position: whether it lies inside the disc, and there its source texture
// coordinates. Outside the disc the coordinates keep what the record held.
struct MapResult {
    bool inside;
    float s;
    float t;
};
static_assert(sizeof(MapResult) == 12);

struct Vec2f {
    float x, y;
};
struct Vec2d {
    double x, y;
};

// What mapping needs, gathered once per run: twice the source's size as floats, and the grid,
// or null when its memory could not be had: then every point inside the disc maps to the
// source's centre.
struct MapFrame {
    float twiceWidth, twiceHeight;
    const MapGrid* grid;
};

inline MapFrame mapFrameOf(const MapGrid* grid, int32_t sourceWidth, int32_t sourceHeight) {
    return {2.0f * static_cast<float>(sourceWidth), 2.0f * static_cast<float>(sourceHeight), grid};
}

// One coordinate of the plane point of an output position, -1 .. 1 across the filter
// rectangle: half a pixel on, the addition made in double; then (2 t + 1) / 2W, so position -1
// gives 0 and position W - 1 gives 1. x and y are independent, so a renderer can take a
// column's x or a row's y once.
inline double planeCoordinate(float position, float twiceSize) {
    float t = static_cast<float>(static_cast<double>(position) + 0.5);
    float u = (t + 1.0f + t) / twiceSize;
    return (static_cast<double>(u) - 0.5) * 2.0;
}
inline double planeX(const MapFrame& f, float positionX) { return planeCoordinate(positionX, f.twiceWidth); }
inline double planeY(const MapFrame& f, float positionY) { return planeCoordinate(positionY, f.twiceHeight); }

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
inline Vec2f interpolateNodes(const MapGrid& grid, float gx, float gy) {
    constexpr int32_t kLastNode = kMapGridNodes - 1;
    auto cellOf = [](float g) {
        if (!(g > -1024.0f)) g = -1024.0f;
        if (g > 1024.0f) g = 1024.0f;
        return g >= 0.0f ? static_cast<int32_t>(g) : static_cast<int32_t>(g - 1.0f);
    };
    auto node = [&](int32_t i, int32_t j) {
        i = i < 0 ? 0 : i > kLastNode ? kLastNode : i;
        j = j < 0 ? 0 : j > kLastNode ? kLastNode : j;
        return Vec2f{grid.nodes[j][i][0], grid.nodes[j][i][1]};
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

// The square point of a plane point inside the disc: the first quadrant's grid, scaled to its
// node spacing and mirrored.
inline Vec2d squarePoint(const MapFrame& f, Vec2d plane) {
    if (!f.grid) return {0.0, 0.0};
    constexpr double kGridScale = kMapGridNodes - 1;
    double a = plane.x < 0.0 ? -plane.x : plane.x;
    double b = plane.y < 0.0 ? -plane.y : plane.y;
    Vec2f square = interpolateNodes(*f.grid, static_cast<float>(a * kGridScale), static_cast<float>(b * kGridScale));
    return {static_cast<double>(square.x) * (plane.x < 0.0 ? -1.0 : 1.0),
            static_cast<double>(square.y) * (plane.y < 0.0 ? -1.0 : 1.0)};
}

// Maps the output position of a plane point into `out`; the source coordinates are written
// only inside the disc.
inline void mapPlanePoint(const MapFrame& f, Vec2d plane, MapResult* out) {
    out->inside = !outsideDisc(plane);
    if (!out->inside) return;
    Vec2d square = squarePoint(f, plane);
    out->s = static_cast<float>(square.x * 0.5 + 0.5);
    out->t = static_cast<float>(square.y * 0.5 + 0.5);
}

// Maps one output position into `out`.
inline void mapPosition(const MapFrame& f, float positionX, float positionY, MapResult* out) {
    mapPlanePoint(f, planePoint(f, positionX, positionY), out);
}
