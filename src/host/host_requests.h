// What the filter asks the host for: the rectangles and planes of each request.
#pragma once

#include "host/globals.h"

// Empties inRect, outRect and maskRect, which tells the host that the filter has finished.
void clearHostRects(PluginGlobals* globals);
