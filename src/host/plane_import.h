// Plane import: the host's interleaved planes of a delivered tile copied into the source image
// buffer, and the choice of the source's pixel format from the host document.
#pragma once

#include "host/globals.h"

// ImageMode 9 (four floats) for 32-bit documents, 4 (four 16-bit samples) for 16-bit gray and
// RGB, 3 (one packed 32-bit word) otherwise.
uint32_t chooseSourceImageMode(const PluginGlobals* globals);

// True for a layer with editable transparency (filterCase 4 or 5): only then is the
// transparency plane read and written. A host that leaves filterCase 0 does not say; its layer
// has transparency when it has more planes than the image mode's colour planes.
bool hasTransparency(const PluginGlobals* globals);

// The index of the transparency plane among a pixel's planes: the layer plane count the host
// gives (inLayerPlanes or outLayerPlanes), or, from a host that leaves it 0, the plane right
// after the image mode's colour planes.
int32_t transparencyPlane(const PluginGlobals* globals, int16_t layerPlanes);

// Copies the host's inData, which holds exactly tile `tileIndex` of level 0, into that tile.
// Values are copied unchanged (0..255, 0..32768 or float); gray fills red, green and blue; alpha
// is full scale without transparency. A tile that does not match the document or the delivered
// data is left as it was.
void convertTile(ImageBuffer* source, const PluginGlobals* globals, int32_t tileIndex);
