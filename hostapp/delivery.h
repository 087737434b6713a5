// Pixel delivery, what advanceState hands the module: for the input, the output and the mask
// the host reads the module's request from the FilterRecord, settles it against the image
// (clips, pads or refuses what reaches outside), fills a buffer with the document's samples, the
// poison or the selection, lays its rows out as the host profile says and points the record at
// it. An output buffer goes back into the document at the next hand-over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "host/host_api.h"
#include "hostapp/document.h"

namespace hostapp {

struct HostProfile;

enum class PixelBuffer { Input, Output, Mask };

// One buffer handed out. Its bytes are kept from one delivery to the next, so rows reuse them.
struct Delivery {
    std::vector<uint8_t> bytes;
    size_t topRow = 0;     // where the rectangle's top row starts in `bytes`
    int32_t rowBytes = 0;  // from one row to the next, negative for rows stored bottom-up
    // Output: where it goes back, and whether it is still to.
    Rect16 rect{};
    int16_t loPlane = 0;
    int16_t hiPlane = -1;
    bool pending = false;
    bool inDocument = false;  // handed out as the document's own rows: nothing to store back

    void restart() { *this = Delivery{std::move(bytes)}; }  // a new delivery in the same bytes
};

// Hands out `which` for the record's request, or nothing for an empty one (and for the mask of
// a document without one). Returns kParamErr for planes the document does not have or a request
// outside the image that asks for an error. `inPlace`: a request at full rate inside the image
// for every plane, under a profile that lays rows out as the document does, gets the
// document's own rows.
int16_t deliver(PixelBuffer which, FilterRecord& record, const Document& doc, const HostProfile& profile,
                Delivery& delivery, bool inPlace);

// Stores a pending output buffer into the rectangle it was handed out for. Returns the
// rectangle, empty when nothing was pending.
Rect16 storeOutput(Delivery& output, Document& doc);

// A host that serves requests only inside the filter rectangle cuts them to it.
void clipToFilter(Rect16& rect, const Document& doc);

}  // namespace hostapp
