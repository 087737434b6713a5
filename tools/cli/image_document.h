// The hand-over between an image file and the host's document: channel layout, the 16-bit
// scales (files 0..65535, the host 0..32768), the selection rectangle, flattening, and the
// composition of a layer's result over a background colour.
#pragma once

#include "hostapp/document.h"
#include "image_file.h"

namespace cli {

// The document a host makes of the image: a flat image, or a layer with editable transparency
// when the image has alpha. With flat, an image's alpha is applied over black and dropped first;
// with asLayer, an image without alpha becomes a layer whose transparency is opaque everywhere.
// Without asLayer the document lives in the image's samples, which must stay where they are
// while it does.
hostapp::Document documentOf(Image& image, bool flat, bool asLayer);

// Puts the rows [first, end) of the document's samples back into the image. Without a
// background the image has the document's layout; with one (red, green, blue) the document is
// a layer and the image has its colour channels only: the layer is composed over the colour.
void takeRows(Image& image, const hostapp::Document& doc, int32_t first, int32_t end, const uint8_t* background);

}  // namespace cli
