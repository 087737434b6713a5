// The hand-over between a GIMP drawable and a document of the in-process host: the depth the
// drawable's precision calls for, the pixel encoding its samples are read and written in, the
// selection's bounding box as the document's selection, and the write-back of the filtered
// rectangle through the shadow buffer.
#pragma once

#include <babl/babl.h>

#include <string>

#include "hostapp/document.h"

namespace gimp_plugin {

struct DrawableDocument {
    int32_t drawable = -1;
    // The encoding the samples travel in: the drawable's own model, transfer curve and colour
    // space, with the document's sample type.
    const Babl* format = nullptr;
    hostapp::Document doc;
};

// Reads the whole drawable into a document: 8 bits for 8-bit precision, 16 bits (moved onto
// the host's 0..32768 scale) for 16-bit, 32-bit float for every other precision. A drawable with
// alpha becomes a layer with transparency, one without a flat image. The bounding box of the
// selection, when there is one, becomes the document's selection. Returns false with the
// reason in error when the drawable cannot be filtered.
bool loadDrawable(int32_t image, int32_t drawable, DrawableDocument& target, std::string& error);

// Writes the filter rectangle of the document into the drawable's shadow buffer and merges it
// through the selection mask as one undo step, then redraws the rectangle. The document's
// 16-bit samples are moved back onto the drawable's scale in place.
void storeDrawable(DrawableDocument& source);

}  // namespace gimp_plugin
