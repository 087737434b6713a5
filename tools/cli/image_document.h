// The hand-over between an image file and the host's document: channel layout, the 16-bit
// scales (files 0..65535, the host 0..32768), the selection rectangle and flattening.
#pragma once

#include "hostapp/document.h"
#include "image_file.h"

namespace cli {

// The document a host makes of the image: a flat image, or a layer with editable transparency
// when the image has alpha. With flat, an image's alpha is applied over black and dropped first.
hostapp::Document documentOf(Image& image, bool flat);

// Puts the document's samples back into the image, which has the document's layout.
void takeSamples(Image& image, const hostapp::Document& doc);

}  // namespace cli
