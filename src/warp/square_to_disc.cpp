// The square-to-disc mapping: normalising output positions, folding plane points into the
// first quadrant, and reading the square point from the MapGrid by triangle interpolation.
#include "warp/square_to_disc.h"

#include <algorithm>
#include <bit>

#include "platform/check.h"
#include "warp/map_grid_table.h"

namespace {

void setGridNode(ImageBuffer* grid, int32_t i, int32_t j, float x, float y) {
    setPixel(i, j, grid, 0, std::bit_cast<uint32_t>(x), std::bit_cast<uint32_t>(y), 0, 0);
}

// The frame of a grid alone, for lookups by grid position.
MapFrame gridFrame(const ImageBuffer* mapGrid) {
    MapFrame f = {};
    if (!mapGrid->tiles || mapGrid->contentTag != kMapGridBuilt) return f;
    // The grid is one tile: its nodes lie row after row in the tile's block.
    VELORUND_CHECK(mapGrid->levelTilesAcross[0] == 1 && mapGrid->levelLastTile[0] == mapGrid->levelFirstTile[0]);
    const TileEntry& tile = mapGrid->tiles[mapGrid->levelFirstTile[0]];
    f.gridScale = mapGrid->levelMaxX[0];
    f.nodes = reinterpret_cast<const float*>(tile.pixels);
    f.nodeStride = 4 * tile.width;
    f.lastNodeX = mapGrid->levelLastX[0];
    f.lastNodeY = mapGrid->levelLastY[0];
    return f;
}

}  // namespace

MapFrame mapFrameOf(int32_t step, int32_t originX, int32_t originY, const ImageBuffer* source,
                    const ImageBuffer* mapGrid) {
    MapFrame f = gridFrame(mapGrid);
    f.step = static_cast<float>(step);
    f.originX = static_cast<float>(originX);
    f.originY = static_cast<float>(originY);
    f.twiceWidth = 2.0f * static_cast<float>(source->levelWidth[0]);
    f.twiceHeight = 2.0f * static_cast<float>(source->levelHeight[0]);
    return f;
}

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
    *outside = outsideDisc(plane) ? 1 : 0;
    if (*outside) return {0.0, 0.0};
    return squarePoint(gridFrame(mapGrid), plane);
}

Vec2d lookupMapGrid(Vec2d point, const ImageBuffer* mapGrid) {
    return squarePoint(gridFrame(mapGrid), point);
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
    return interpolateNodes(gridFrame(mapGrid), gx, gy);
}

void mapOutputPosition(float positionX, float positionY, int32_t step, int32_t originX,
                       int32_t originY, const ImageBuffer* source, const ImageBuffer* mapGrid,
                       MapResult* out) {
    mapPosition(mapFrameOf(step, originX, originY, source, mapGrid), positionX, positionY, out);
}
