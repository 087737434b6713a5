// Host requests: the rectangles the filter hands the host between stages.
#include "host/host_requests.h"

void clearHostRects(PluginGlobals* globals) {
    FilterRecord* record = globals->filterRecord;
    record->inRect = Rect16{0, 0, 0, 0};
    record->outRect = Rect16{0, 0, 0, 0};
    record->maskRect = Rect16{0, 0, 0, 0};
}
