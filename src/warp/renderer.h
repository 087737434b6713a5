// The output renderer: produces the warped image one output row at a time. Each pixel corner is
// mapped into the source once and shared by the four pixels that meet there; the corners of a
// row's top and bottom edges live in two slots of the corner columns that swap roles every row.
// One rule classifies each pixel by its corners and centre: a pixel off the disc is
// transparent, one whose corners and centre agree gets one filtered sample with its mapped
// corner quad as footprint, and a pixel across the rim of the disc (or the border of the
// source) is supersampled, 41 samples along the axis where its corners disagree or 7 x 7 when
// they disagree both ways, so the rim comes out anti-aliased through the averaged alpha.
#pragma once

#include <cstdint>

#include "image/image_buffer.h"
#include "sampling/texture_sampler.h"
#include "warp/output_pixel.h"
#include "warp/square_to_disc.h"

// The unit the row-record buffer is sized in. A lane lays out its corner columns in width + 4 of
// them, the run's rows rendered ahead use the rest.
constexpr int32_t kColumnRecordBytes = 124;
struct ColumnRecord {
    uint8_t bytes[kColumnRecordBytes];
};

// What a lane carries from row to row for the corner positions k = 0 .. width (output position
// k - 1), one array per field, so that vector lanes read neighbouring columns at once: the
// mapping on the two corner lines in flight (a corner outside the disc keeps the coordinates
// its slot held), whether each corner lies inside the disc and whether its coordinates lie
// outside the texture's 0..1 range (as masks, -1 for yes), the plane x of the column's corner
// and of pixel k's centre, which every row maps again, and the last corner line inside the disc
// below its middle line. Besides, the sampling of each pixel of the row being rendered.
struct CornerColumns {
    double* cornerX;             // plane x of position k - 1
    double* centreX;             // plane x of position k - 0.5
    float* s[2];                 // per corner-line slot
    float* t[2];
    int32_t* inside[2];
    int32_t* outsideTexture[2];
    int32_t* lastInsideLine;
    uint8_t* sampling;           // a PixelSampling per pixel
};

// A thread's render lane: everything the renderer reads and writes for the rows it renders,
// what it samples and maps through, the corner columns that carry the corner lines from row to
// row, and its level-of-detail slot. The run owns it and hands it to every call, so nothing the
// renderer touches is module-wide, and lanes with corner columns of their own render rows side
// by side.
struct RenderLane {
    LodSlot lod;                 // the sampler's level-of-detail slot for this lane
    int32_t parity;              // the corner-line slot holding the current row's bottom edge
    int32_t nextRow;             // the row whose top corner line the lane holds, -1 for none
    int32_t width;               // pixels in a row
    int32_t middleLine;          // the corner line nearest the disc's horizontal diameter
    bool historyKnown;           // the last inside lines are filled in
    const ImageBuffer* source;
    CornerColumns columns;
    MapFrame frame;
};

// What classification reads of one pixel corner: on which side of the rim it lies, and whether
// its source position lies outside the texture's 0..1 range.
struct CornerState {
    bool inside;
    bool outsideTexture;
};

// How a pixel is rendered.
enum class PixelSampling : uint8_t {
    None,    // off the disc: transparent, nothing sampled
    Single,  // one filtered sample at the centre of its corner quad
    Across,  // 41 sub-samples along the row: its left and right corners disagree
    Down,    // 41 sub-samples down the column: its top and bottom corners disagree
    Grid,    // 7 x 7 sub-samples: the corners disagree both ways, or all four with the centre
};

// The classification of a pixel by its four corners and whether its centre lies inside the
// disc. Corners that differ left against right, or top against bottom, in either count ask for
// sub-samples along that axis; four corners that agree with each other but not with the centre
// hide the rim inside the pixel.
PixelSampling classifyPixel(CornerState topLeft, CornerState topRight, CornerState bottomLeft,
                            CornerState bottomRight, bool centreInside);

constexpr float kFootprintReduction = 0.3f;

// Points the lane at a pass's source and map frame and lays out its corner columns in `records`
// (width + 4 of them). The level-of-detail slot keeps what the last pass left in it.
void setupRenderLane(RenderLane* lane, const ImageBuffer* source, const MapFrame& frame,
                     ColumnRecord* records, int32_t width);

// Renders output row `row` of the pass into `outputRow`. Rows follow one another from the top;
// a lane asked for any other row (a lane rendering a strip of rows beside other lanes) first
// restores what rendering every row above would have left in its column records. Pixels of a
// single sample are sampled in batches, the bits of renderPixel one after another.
void renderRow(RenderLane* lane, int32_t row, const OutputRow* outputRow);

// Maps corner line `line` (output row position `line`, columns -1 .. width - 1) into the slot
// of the toggled parity.
void mapCornerLine(RenderLane* lane, int32_t line);

// The classification of pixel x of row y from the two corner lines the lane holds for it.
PixelSampling pixelSamplingAt(const RenderLane* lane, int32_t x, int32_t y);

// Renders pixel x of row y, whose corner lines the lane holds, as `sampling` says, on its own,
// into `colour`: straight colour and alpha, unscaled.
void renderPixel(RenderLane* lane, int32_t x, int32_t y, PixelSampling sampling, float colour[4]);

// The footprint of one sub-sample: the mapped positions of its top-right, bottom-left and
// bottom-right neighbours, all kMissingPosition when none lies on the sample's side of the rim.
struct SampleFootprint {
    Vec2f topRight;
    Vec2f bottomLeft;
    Vec2f bottomRight;
};

// Maps the sub-sample at (px, py) into `centre` and finds its footprint from the neighbours half
// a pixel away that fall on its side of the rim, mirroring one through the centre where needed.
void mapSampleFootprint(float px, float py, const RenderLane* lane, MapResult* centre,
                        SampleFootprint* footprint);
