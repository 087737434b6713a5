// The document's format: everything the run needs to know about the host's pixels, decided
// once at Start from the FilterRecord and read by the import and the output alike.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "image/image_buffer.h"
#include "warp/output_pixel.h"

struct DocumentFormat {
    ImageMode sourceImageMode; // the source buffer's layout, by the document's depth
    int32_t sampleBytes;       // bytes of one delivered sample: 1, 2 or 4
    bool rgb;                  // colour from planes 0, 1, 2; gray documents give plane 0 to all three
    int32_t inputAlphaPlane;   // plane of the delivered transparency, -1 for full-scale alpha
    OutputFormat output;       // how rendered colours go back into the host's samples
};

// The format of the document the record describes. Transparency counts only on a layer with
// editable transparency (filter cases 4 and 5, or a host that leaves the case 0 and hands more
// planes than colours); its plane is the host's layer plane count, or the one after the colours.
DocumentFormat documentFormat(const FilterRecord* record);
