// The rule behind the stored square-to-disc map grid (src/warp/map_grid_table.h): the map's
// scale constant, its value at a plane point or grid node in double precision, and the whole
// grid rounded to float the way it is stored.
#pragma once

#include <cstdint>

#include "warp/map_grid_table.h"

// A point (X, Y) of the square side of the map.
struct SquarePoint {
    double x;
    double y;
};

// K = 1 / (integral from 0 to 1 of dt / sqrt(1 + t^4)): scales the map so that f(1) = 1.
double mapGridScale();

// f(w) = K * integral from 0 to w of dz / sqrt(1 + z^4) along the straight segment from 0, with
// the principal square root, at w = x + i y for a point of the closed first quadrant. Inside the
// unit disc this is the conformal map onto [-1, 1]^2; outside it is the same integral continued.
SquarePoint mapPlanePoint(double x, double y);

// The map at grid node (i, j), the plane point (i / 99, j / 99).
SquarePoint mapGridNode(int32_t i, int32_t j);

// The stored table: every node of the lower triangle, each value rounded once to float.
void buildMapGridTable(float (&table)[kMapGridPairs][2]);
