// Host requests: the rectangles the filter hands the host between stages.
#include "run/host_requests.h"

#include <algorithm>

#include "host/host_rect.h"
#include "image/image_buffer.h"

// All planes, interleaved, at rate 1.0, with edge replication.
static void setPlanesAndSampling(FilterRecord* record) {
    record->inLoPlane = record->outLoPlane = 0;
    record->inHiPlane = record->outHiPlane = static_cast<int16_t>(record->planes - 1);
    record->inputRate = record->maskRate = kFixedOne;
    record->inputPadding = record->outputPadding = record->maskPadding = kPaddingEdgeReplication;
}

// The empty rectangle at the filter rectangle's top-left.
static Rect16 emptyAtFilterOrigin(const Rect16& filter) {
    return Rect16{filter.top, filter.left, filter.top, filter.left};
}

void requestTile(FilterRecord* record, const Rect16& tile) {
    const Rect16& filter = record->filterRect;
    copyRect(&record->inRect, tile);
    offsetRect(&record->inRect, filter.left, filter.top);
    setRect(&record->outRect, filter.top, filter.left, filter.top + 1, filter.left + 1);
    record->maskRect = emptyAtFilterOrigin(filter);
    setPlanesAndSampling(record);
}

void requestRow(FilterRecord* record, int32_t row, int32_t filterHeight) {
    const Rect16 filter = record->filterRect;
    int32_t r = std::clamp(row, 0, std::max(filterHeight - 1, 0)) + filter.top;
    setRect(&record->inRect, r, filter.left, r + 1, filter.right);
    copyRect(&record->outRect, record->inRect);

    // The mask rows around the output row, kept inside the filter rectangle and never empty.
    if (record->haveMask) {
        int32_t top = std::max<int32_t>(r - 2, filter.top);
        int32_t bottom = std::min<int32_t>(r + 2, filter.bottom);
        if (bottom <= top) bottom = top + 1;
        setRect(&record->maskRect, top, filter.left, bottom, filter.right);
    } else {
        record->maskRect = emptyAtFilterOrigin(filter);
    }
    setPlanesAndSampling(record);
}

void requestWholeArea(FilterRecord* record) {
    const Rect16 filter = record->filterRect;
    Rect16 area = filter;
    if (rectWidth(area) > kTileSize) area.right = toRectCoordinate(area.left + kTileSize);
    if (rectHeight(area) > kTileSize) area.bottom = toRectCoordinate(area.top + kTileSize);

    record->inRect = record->outRect = record->maskRect = area;
    setPlanesAndSampling(record);
}

void clearHostRects(FilterRecord* record) {
    record->inRect = Rect16{0, 0, 0, 0};
    record->outRect = Rect16{0, 0, 0, 0};
    record->maskRect = Rect16{0, 0, 0, 0};
}
