// The output renderer: produces the warped image one output row at a time. Each pixel corner is
// mapped into the source once and shared by the four pixels that meet there; the corners of a
// row's top and bottom edges live in two slots of the ColumnRecords that swap roles every row.
// A pixel whose corners and centre agree gets one filtered sample with its mapped corner quad
// as footprint; a pixel across the rim of the disc (or the border of the source) is
// supersampled, 41 samples along the axis where its corners disagree or 7 x 7 when they
// disagree both ways, so the rim comes out anti-aliased through the averaged alpha.
#pragma once

#include <cstdint>

#include "image/image_buffer.h"
#include "sampling/texture_sampler.h"
#include "warp/output_pixel.h"
#include "warp/square_to_disc.h"

// One corner line position k (output position k - 1): its mapping on the two corner lines in
// flight, whether each mapped outside the texture range, and the plane x of the column's corner
// and of pixel k's centre, which every row maps again. The records lie 124 bytes apart, so they
// are packed to 4 bytes.
#pragma pack(push, 4)
struct ColumnRecord {
    int32_t outsideTexture[2];
    MapResult mapSlot[2];
    int32_t lastInsideLine;      // the last corner line inside the disc, below its middle line
    double cornerX;              // plane x of position k - 1
    double centreX;              // plane x of position k - 0.5
    uint8_t reserved[64];
};
#pragma pack(pop)
constexpr int32_t kColumnRecordBytes = 124;  // the row-record buffer is sized in these records
static_assert(sizeof(ColumnRecord) == kColumnRecordBytes);

// One layer to render and everything the renderer reads and writes for it: what it samples and
// maps through, the column records that carry the corner lines from row to row, and its
// level-of-detail slot. The run owns it and hands it to every call, so nothing the renderer
// touches is module-wide, and lanes with column records of their own render rows side by side.
struct RenderLane {
    LodSlot lod;                 // the sampler's level-of-detail slot for this lane
    int32_t parity;              // the corner-line slot holding the current row's bottom edge
    int32_t nextRow;             // the row whose top corner line the lane holds, -1 for none
    int32_t width;               // pixels in a row
    int32_t middleLine;          // the corner line nearest the disc's horizontal diameter
    uint8_t historyKnown;        // the column records' last inside lines are filled in
    const ImageBuffer* source;
    ColumnRecord* columns;       // at least width + 2 records
    ImageBuffer* mapGrid;        // built before rows render; lanes only read it
    MapFrame frame;              // what mapping a position needs, made again once the grid is built
    int32_t step;                // output coordinate scale and offsets: 1, 0, 0 in every run
    int32_t originX;
    int32_t originY;
};

// What a pixel's corners say about it; rewritten for every pixel.
struct PixelCornerState {
    int32_t differenceBits;      // 1: left and right corners disagree; 2: top and bottom; 3 both
    int32_t kindDifferenceBits;  // the same for the kinds alone
    int32_t cornerStatus[4];     // bottom-right, bottom-left, top-right, top-left
    int32_t cornerKind[4];
};

// The footprint of one sub-sample: the mapped positions of its top-right, bottom-left and
// bottom-right neighbours, all kMissingPosition when none lies on the sample's side of the rim.
struct SampleFootprint {
    Vec2f topRight;
    Vec2f bottomLeft;
    Vec2f bottomRight;
};

// How renderPixel samples: around the corners' footprint with supersampling where the bits ask
// (0), once at the corners' centre (1), or once at the nearest texel (2).
constexpr int32_t kRenderSupersampled = 0;
constexpr int32_t kRenderFiltered = 1;
constexpr int32_t kRenderNearest = 2;

// classifyPixelCorners' dispatch: check the centre first (what the renderer uses), or render at
// once filtered or nearest.
constexpr int32_t kDispatchCheckCentre = 3;
constexpr int32_t kDispatchFiltered = 2;
constexpr int32_t kDispatchNearest = 1;

constexpr float kFootprintReduction = 0.3f;

// Points the lane at a pass's images and column records. The level-of-detail slot keeps what
// the last pass left in it.
void setupRenderLane(RenderLane* lane, const ImageBuffer* source, ImageBuffer* mapGrid,
                     ColumnRecord* columns, int32_t width, int32_t step, int32_t originX,
                     int32_t originY);

// Makes the lane's frame from the grid as it is now, building the grid first if it is not yet.
// The grid is shared: only one thread may call this while the grid may still be unbuilt.
void readyRenderLane(RenderLane* lane);

// Renders output row `row` of the pass into `outputRow`. Rows follow one another from the top;
// a lane asked for any other row (a lane rendering a strip of rows beside other lanes) first
// restores what rendering every row above would have left in its column records.
void renderRow(RenderLane* lane, int32_t row, const OutputRow* outputRow);

// Maps corner line `line` (output row position `line`, columns -1 .. width - 1) into the slot
// of the toggled parity; renders the pixels of row `row` from the two corner lines, each
// stored in the output row as soon as it is finished.
void mapCornerLine(RenderLane* lane, int32_t line);
void renderPixels(RenderLane* lane, int32_t row, const OutputRow* outputRow);

// Compares the corners of pixel (x, y), then renders it as `dispatchCode` says.
void classifyPixelCorners(float colour[4], float reduction, const ImageBuffer* source,
                          ColumnRecord* columns, int32_t x, int32_t y, int32_t cur,
                          RenderLane* lanes, int32_t dispatchCode, int32_t laneCount,
                          PixelCornerState* state);

// Renders a pixel whose corners agree once when its centre agrees with them too, supersampled
// otherwise.
void checkPixelCentre(int32_t x, int32_t y, float reduction, float colour[4], RenderLane* lanes,
                      const ImageBuffer* source, int32_t laneCount, PixelCornerState* state);

// Renders pixel (x, y) in one of the modes above into `colour`.
void renderPixel(int32_t x, int32_t y, float reduction, float colour[4], RenderLane* lanes,
                 const ImageBuffer* source, int32_t mode, int32_t laneCount,
                 PixelCornerState* state);

// Maps the sub-sample at (px, py) into `centre` and finds its footprint from the neighbours half
// a pixel away that fall on its side of the rim, mirroring one through the centre where needed.
void mapSampleFootprint(float px, float py, const ImageBuffer* source, const RenderLane* lane,
                        MapResult* centre, SampleFootprint* footprint);

// Composites `front` over `back`, in place of `back`; straight alpha.
void compositeOver(const float front[4], float back[4]);
