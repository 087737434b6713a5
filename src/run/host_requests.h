// What the filter asks the host for: the rectangles and planes of each request. Every request
// asks for all planes of the layer interleaved (its transparency plane included), at full
// rate, with edge replication where a rectangle reaches outside the image.
#pragma once

#include "run/globals.h"

// One tile of the source, `tile` given in filter-area coordinates; the output is a single pixel
// and the mask is empty.
void requestTile(PluginGlobals* globals, const Rect16& tile);

// The output row globals->currentRow, its input row, and a few mask rows around it when the
// host has a selection.
void requestRow(PluginGlobals* globals);

// The filter area, moved by the parameter block's offsets, kept inside the filter rectangle and
// cut to the globals' size limit; then one advanceState, whose result becomes the result code.
void requestWholeArea(PluginGlobals* globals);

// Empties inRect, outRect and maskRect, which tells the host that the filter has finished.
void clearHostRects(PluginGlobals* globals);
