// The square-to-disc mapping: which source position shows at a given output position. The
// output holds the whole source squeezed into the inscribed ellipse of the filter rectangle by
// the conformal map of the disc onto the square; positions outside the ellipse map to nothing.
// The map is read from a 100 x 100 grid of the first quadrant (the MapGrid, filled once per
// run from the stored table) by triangle interpolation, mirrored into the other quadrants.
//
// Positions are in output pixel units: pixel column x spans x - 1 .. x, its centre is x - 0.5;
// the same for rows. Results are texture coordinates 0..1 across the source image.
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
