// The document's format: everything the run needs to know about the host's pixels, decided
// once at Start from the FilterRecord and read by the import and the output alike.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "warp/output_pixel.h"

struct DocumentFormat {
    uint32_t sourceImageMode;  // the source buffer's layout: 3 (8-bit), 4 (16-bit) or 9 (float)
    int32_t sampleBytes;       // bytes of one delivered sample: 1, 2 or 4
    bool rgb;                  // colour from planes 0, 1, 2; gray documents give plane 0 to all three
    int32_t inputAlphaPlane;   // plane of the delivered transparency, -1 for full-scale alpha
    OutputFormat output;       // how rendered colours go back into the host's samples
};

// The format of the document the record describes. Transparency counts only on a layer with
// editable transparency (filter cases 4 and 5); its plane follows the colour planes.
DocumentFormat documentFormat(const FilterRecord* record, bool checkerboard);
