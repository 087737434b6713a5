// The hand-over between a GIMP drawable and a document of the in-process host: whether the
// drawable can be filtered at all, the depth its sample type calls for, the pixel encoding its
// samples are read and written in, the selection's bounding box as the document's selection,
// and the write-back of the filtered rectangle through the shadow buffer.
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

// What a call does with its image and drawable, settled by asking GIMP about them before any
// pixel is read.
enum class Verdict {
    Filter,
    NothingToDo,  // the selection does not touch the drawable
    BadArgument,  // an id that names nothing, or a drawable of another image
    Refused,      // a drawable the filter cannot take or GIMP would not let it write
};
Verdict examineDrawable(int32_t image, int32_t drawable, std::string& error);

// Reads the whole drawable, which examineDrawable let through, into a document: 8 bits for 8-bit
// samples, 16 bits (moved onto the host's 0..32768 scale) for 16-bit ones, 32-bit float for
// every other sample type. A drawable with alpha becomes a layer with transparency, one without
// a flat image. The bounding box of the selection, when there is one, becomes the document's
// selection. Returns false with the reason in error when the drawable's format is not one the
// filter reads.
bool loadDrawable(int32_t image, int32_t drawable, DrawableDocument& target, std::string& error);

// Writes the filter rectangle of the document into the drawable's shadow buffer and merges it
// through the selection mask as one undo step, then redraws the rectangle. The document's
// 16-bit samples are moved back onto the drawable's scale in place.
void storeDrawable(DrawableDocument& source);

}  // namespace gimp_plugin
