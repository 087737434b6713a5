// Host requests: the rectangles the filter hands the host between stages.
#include "run/host_requests.h"

#include <algorithm>

#include "host/host_rect.h"
#include "run/parameters.h"

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

void requestTile(PluginGlobals* globals, const Rect16& tile) {
    FilterRecord* record = globals->filterRecord;
    const Rect16& filter = record->filterRect;
    copyRect(&record->inRect, tile);
    offsetRect(&record->inRect, filter.left, filter.top);
    setRect(&record->outRect, filter.top, filter.left, filter.top + 1, filter.left + 1);
    record->maskRect = emptyAtFilterOrigin(filter);
    setPlanesAndSampling(record);
}

void requestRow(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    const Rect16 filter = record->filterRect;
    int32_t row = std::clamp(globals->currentRow, 0, std::max(globals->filterHeight - 1, 0));
    int32_t r = row + filter.top;
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

void requestWholeArea(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    FilterParameters* block = parameterBlock(globals);
    const Rect16 filter = record->filterRect;

    Rect16 area = filter;
    offsetRect(&area, block->areaOffsetX, block->areaOffsetY);
    intersectRect(&area, filter);
    scaleRect(&area, 1, 1);
    const Rect16& limit = globals->wholeAreaLimit;
    if (rectWidth(area) > rectWidth(limit)) area.right = toRectCoordinate(area.left + rectWidth(limit));
    if (rectHeight(area) > rectHeight(limit)) area.bottom = toRectCoordinate(area.top + rectHeight(limit));

    record->inRect = area;
    record->maskRect = area;
    copyRect(&record->outRect, area);
    offsetRect(&record->outRect, filter.left - area.left, filter.top - area.top);
    block->areaScale = 1;
    setPlanesAndSampling(record);
    if (record->advanceState) setResultCode(globals, record->advanceState());
}

void clearHostRects(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    record->inRect = Rect16{0, 0, 0, 0};
    record->outRect = Rect16{0, 0, 0, 0};
    record->maskRect = Rect16{0, 0, 0, 0};
}
