// Host rectangles: four signed 16-bit values top, left, bottom, right, with bottom and right
// exclusive. The helpers the host requests are built from; results that leave the 16-bit
// range are pinned to it.
#pragma once

#include <algorithm>
#include <cstdint>

#include "host/host_api.h"

inline int16_t toRectCoordinate(int64_t v) {
    return static_cast<int16_t>(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

inline void copyRect(Rect16* to, const Rect16& from) { *to = from; }

inline void setRect(Rect16* rect, int64_t top, int64_t left, int64_t bottom, int64_t right) {
    *rect = Rect16{toRectCoordinate(top), toRectCoordinate(left), toRectCoordinate(bottom),
                   toRectCoordinate(right)};
}

// Moves a rectangle by (dx, dy).
inline void offsetRect(Rect16* rect, int32_t dx, int32_t dy) {
    setRect(rect, rect->top + dy, rect->left + dx, rect->bottom + dy, rect->right + dx);
}

inline int32_t rectWidth(const Rect16& rect) { return rect.right - rect.left; }
inline int32_t rectHeight(const Rect16& rect) { return rect.bottom - rect.top; }
