// Host rectangles in the tests: compared and printed whole, built from a corner and a size, and
// the check that a module emptied the rectangles of its requests.
#pragma once

#include <ostream>

#include "host/host_api.h"

inline bool operator==(const Rect16& a, const Rect16& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

inline std::ostream& operator<<(std::ostream& out, const Rect16& r) {
    return out << "(" << r.top << ", " << r.left << ", " << r.bottom << ", " << r.right << ")";
}

// A width x height rectangle with its top-left corner at (left, top).
inline Rect16 area(int32_t left, int32_t top, int32_t width, int32_t height) {
    return Rect16{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(top + height),
                  static_cast<int16_t>(left + width)};
}

// Whether the input, output and mask rectangles are all empty at the origin, as a module leaves
// them when it has nothing more to ask.
inline bool requestsEmptied(const FilterRecord& r) {
    for (const Rect16& rect : {r.inRect, r.outRect, r.maskRect})
        if ((rect.top | rect.left | rect.bottom | rect.right) != 0) return false;
    return true;
}
