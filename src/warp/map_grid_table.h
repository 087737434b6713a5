// The stored square-to-disc map: for the lower triangle of the 100 x 100 first-quadrant grid
// (row j = 0 .. 99, and within a row column i = 0 .. j), the square point (X, Y) that the
// conformal map of the unit disc onto the square [-1, 1]^2 assigns to the plane point
// (i / 99, j / 99). The data is generated from the map's defining integral by
// tools/map_grid/generate_map_grid_table; a test regenerates it and compares.
#pragma once

#include <cstdint>

constexpr int32_t kMapGridNodes = 100;   // nodes along each side of the grid
constexpr int32_t kMapGridPairs = 5050;  // nodes of the lower triangle, diagonal included

// Pair n = j * (j + 1) / 2 + i holds (X, Y) of node (i, j).
extern const float kMapGridTable[kMapGridPairs][2];
