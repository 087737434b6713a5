// Plane import: the host's interleaved planes of a delivered tile copied into the source image
// buffer, in the source's sample format.
#pragma once

#include "host/host_api.h"
#include "image/image_buffer.h"
#include "run/document_format.h"

// Copies the host's inData, which holds exactly tile `tileIndex` of level 0 of `source`, into
// that tile. Values are copied unchanged (0..255, 0..32768 or float); gray fills red, green and
// blue; alpha is full scale without transparency. A delivery that lacks the planes or the row
// length the tile needs leaves the tile as it was.
void convertTile(ImageBuffer* source, const DocumentFormat* format, const FilterRecord* record,
                 int32_t tileIndex);

// The same for rows firstRow .. lastRow of the tile only, so that threads can share a tile.
void convertTileRows(ImageBuffer* source, const DocumentFormat* format, const FilterRecord* record,
                     int32_t tileIndex, int32_t firstRow, int32_t lastRow);
