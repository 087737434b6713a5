// The square-to-disc mapping: normalising output positions, folding plane points into the
// first quadrant, and reading the square point from the MapGrid by triangle interpolation.
#include "warp/square_to_disc.h"

#include <algorithm>
#include <bit>

#include "image/pixel_access.h"
#include "warp/map_grid_table.h"

namespace {

// The grid cell of a grid coordinate: truncation, one lower for negative values (so a negative
// whole number also lands one cell lower). Coordinates far off the grid (and NaN) are pinned so
// the conversion stays defined; the node reads clamp them to the grid anyway.
int32_t cellOf(float g) {
    if (!(g > -1024.0f)) g = -1024.0f;
    if (g > 1024.0f) g = 1024.0f;
    return g >= 0.0f ? static_cast<int32_t>(g) : static_cast<int32_t>(g - 1.0f);
}

// Channels 0 and 1 (the square X and Y) of a node of the built grid, the node clamped into the
// grid: the clamped four-channel read, straight from the grid's float samples, as it runs four
// times for every mapped position.
Vec2f gridNode(const ImageBuffer* grid, int32_t i, int32_t j) {
    const uint8_t* node = pixelAddress(grid, 0, std::clamp(i, 0, grid->levelLastX[0]),
                                       std::clamp(j, 0, grid->levelLastY[0]));
    return {loadSample<float>(node), loadSample<float>(node + sizeof(float))};
}

void setGridNode(ImageBuffer* grid, int32_t i, int32_t j, float x, float y) {
    setPixel(i, j, grid, 0, std::bit_cast<uint32_t>(x), std::bit_cast<uint32_t>(y), 0, 0);
}

double signOf(double v) { return v < 0.0 ? -1.0 : 1.0; }

}  // namespace

Vec2f normalisePosition(float positionX, float positionY, float step, float originX, float originY,
                        const ImageBuffer* source) {
    // Into source pixels, then half a pixel on, the addition made in double.
    float tx = positionX * step + originX;
    float ty = positionY * step + originY;
    tx = static_cast<float>(static_cast<double>(tx) + 0.5);
    ty = static_cast<float>(static_cast<double>(ty) + 0.5);

    // (2 tx + 1) / 2W: position -1 gives 0 and position W - 1 gives 1.
    float width = static_cast<float>(source->levelWidth[0]);
    float height = static_cast<float>(source->levelHeight[0]);
    return {(tx + 1.0f + tx) / (2.0f * width), (ty + 1.0f + ty) / (2.0f * height)};
}

Vec2d discToSquare(Vec2d plane, const ImageBuffer* mapGrid, uint8_t* outside) {
    // Only points strictly beyond the unit circle lie outside; the circle itself is inside.
    double r2 = plane.x * plane.x + plane.y * plane.y;
    if (r2 > 1.0) {
        *outside = 1;
        return {0.0, 0.0};
    }
    *outside = 0;

    // The grid holds the first quadrant; the other three are its mirror images.
    Vec2d square = lookupMapGrid({plane.x < 0.0 ? -plane.x : plane.x,
                                  plane.y < 0.0 ? -plane.y : plane.y}, mapGrid);
    return {square.x * signOf(plane.x), square.y * signOf(plane.y)};
}

Vec2d lookupMapGrid(Vec2d point, const ImageBuffer* mapGrid) {
    // Without a built grid every point goes to the square's centre.
    if (!mapGrid->tiles || mapGrid->contentTag != kMapGridBuilt) return {0.0, 0.0};

    double scale = mapGrid->levelMaxX[0];
    float gx = static_cast<float>(point.x * scale);
    float gy = static_cast<float>(point.y * scale);
    Vec2f square = interpolateMapGrid(gx, gy, mapGrid);
    return {square.x, square.y};
}

void ensureMapGrid(ImageBuffer* mapGrid) {
    if (mapGrid->tiles && mapGrid->contentTag != kMapGridBuilt) buildMapGrid(mapGrid);
}

void buildMapGrid(ImageBuffer* mapGrid) {
    if (!createImageBuffer(mapGrid, kMapGridNodes, kMapGridNodes, kImageRgbaFloat, kWrapClamp,
                           false)) {
        return;
    }

    // Row by row: zero each node, and from the lower triangle (i <= j) write the stored pair
    // and then its mirror. The mirror comes second, so a diagonal node holds (Y, X); a node of
    // the upper triangle is zeroed in its own row before the row that mirrors into it.
    int32_t next = 0;
    for (int32_t j = 0; j < kMapGridNodes; j++) {
        for (int32_t i = 0; i < kMapGridNodes; i++) {
            setGridNode(mapGrid, i, j, 0.0f, 0.0f);
            if (i > j) continue;
            float x = kMapGridTable[next][0];
            float y = kMapGridTable[next][1];
            next++;
            setGridNode(mapGrid, i, j, x, y);
            setGridNode(mapGrid, j, i, y, x);
        }
    }
    mapGrid->contentTag = kMapGridBuilt;
}

Vec2f interpolateMapGrid(float gx, float gy, const ImageBuffer* mapGrid) {
    int32_t ix = cellOf(gx);
    int32_t iy = cellOf(gy);
    float fx = gx - static_cast<float>(ix);
    float fy = gy - static_cast<float>(iy);

    Vec2f p00 = gridNode(mapGrid, ix, iy);
    Vec2f p10 = gridNode(mapGrid, ix + 1, iy);
    Vec2f p01 = gridNode(mapGrid, ix, iy + 1);
    Vec2f p11 = gridNode(mapGrid, ix + 1, iy + 1);

    // Lower-left triangle: weights of P00, P10 and P01.
    if (fx + fy <= 1.0f) {
        float w = static_cast<float>((1.0 - fx) - fy);
        return {p00.x * w + p10.x * fx + p01.x * fy, p00.y * w + p10.y * fx + p01.y * fy};
    }

    // Upper-right triangle: weights of P11, P10 and P01.
    float wx = static_cast<float>(1.0 - fy);
    float wy = static_cast<float>(1.0 - fx);
    float w = static_cast<float>((1.0 - wx) - wy);
    return {p11.x * w + p10.x * wx + p01.x * wy, p11.y * w + p10.y * wx + p01.y * wy};
}

void mapOutputPosition(float positionX, float positionY, int32_t step, int32_t originX,
                       int32_t originY, const ImageBuffer* source, const ImageBuffer* mapGrid,
                       MapResult* out) {
    Vec2f uv = normalisePosition(positionX, positionY, static_cast<float>(step),
                                 static_cast<float>(originX), static_cast<float>(originY), source);
    out->kind = 0;

    // Plane coordinates -1 .. 1 across the filter rectangle.
    Vec2d plane = {(static_cast<double>(uv.x) - 0.5) * 2.0, (static_cast<double>(uv.y) - 0.5) * 2.0};
    uint8_t outside = 0;
    Vec2d square = discToSquare(plane, mapGrid, &outside);
    if (outside) {
        out->status = kMapOutsideDisc;
        return;
    }

    out->kind = kMapKindMapped;
    out->status = kMapMapped;
    out->s = static_cast<float>(square.x * 0.5 + 0.5);
    out->t = static_cast<float>(square.y * 0.5 + 0.5);
}
