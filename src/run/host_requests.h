// What the filter asks the host for: the rectangles and planes of each request. Every request
// asks for all planes of the layer interleaved (its transparency plane included), at full
// rate, with edge replication where a rectangle reaches outside the image.
#pragma once

#include <cstdint>

#include "host/host_api.h"

// One tile of the source, `tile` given in filter-area coordinates; the output is a single pixel
// and the mask is empty.
void requestTile(FilterRecord* record, const Rect16& tile);

// Output row `row` of the filter rectangle (kept inside its `filterHeight` rows), its input
// row, and a few mask rows around it when the host has a selection.
void requestRow(FilterRecord* record, int32_t row, int32_t filterHeight);

// The filter area, cut to the size of one tile from its top-left, for input, output and mask.
void requestWholeArea(FilterRecord* record);

// Empties inRect, outRect and maskRect, which tells the host that the filter has finished.
void clearHostRects(FilterRecord* record);
