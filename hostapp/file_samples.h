// Samples of outside images (image files, a browser's decoded pictures) into the host's
// documents and back, for the front ends: pixels of interleaved colour samples, then alpha, on
// the file's scales (16-bit samples 0..65535), into a document on the host's scales, and the
// filtered document back, either as it is or composed over a background colour.
#pragma once

#include <cstdint>

#include "hostapp/document.h"

namespace hostapp {

// Fills doc, made for the image's size, depth and colour model, from its pixels of `channels`
// samples each. A document with one plane more than the image has (a layer made of an image
// without alpha) gets an opaque transparency sample in every pixel.
void fillDocument(Document& doc, const uint8_t* samples, int32_t channels);

// Rows first .. end - 1 of a layer composed over the colour background (red, green, blue; a
// gray layer over the colour's luma) into `out`, which receives the document's colour samples
// only, row after row, each rounded once to the file's scale (straight alpha).
void composeRows(const Document& doc, int32_t first, int32_t end, const uint8_t* background, uint8_t* out);

}  // namespace hostapp
