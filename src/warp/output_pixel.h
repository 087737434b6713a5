// Output pixel conversion: turns one rendered colour (red, green, blue and straight alpha on a
// 0..1 scale) into the host's sample format and stores it in the host's current output row.
#pragma once

#include <cstdint>

#include "host/globals.h"

// Stores the colour of pixel x of the current output row. 8-bit and 16-bit documents get
// integer samples (colour above full intensity spilled into the other channels, gray from
// weighted channels, alpha lifted by 1.007 so near-opaque becomes opaque); 32-bit documents get
// floats, colour unlimited. The transparency sample is written only for editable transparency.
// `colour` is left scaled to the document's sample range.
void writeOutputPixel(int32_t x, int32_t y, float colour[4], const PluginGlobals* globals);
