// The image pyramid: fills levels 1 .. lastLevel of an image buffer, each from the completed
// level below it by a 2:1 reduction, one work-queue job per level on the buffer owner's queue.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "image/image_buffer.h"

constexpr int32_t kJobReduceLevel = -1000;  // the job code of one level's reduction

// What a reduction job reduces: source level `level` of `buffer` into level + 1.
struct PyramidJobContext {
    ImageBuffer* buffer;
    int32_t level;
};

// Builds every reduced level from level 0, unless the buffer's wrap mode asks for no pyramid.
void buildPyramid(ImageBuffer* buffer);

// Reduces level startLevel into startLevel + 1, then that into the next, up to the last level,
// and marks the pyramid built (also when there was no level left to reduce).
void buildLevelsFrom(ImageBuffer* buffer, int32_t startLevel);

// The reduction job: computes the pixels of level + 1 inside rect from level. rect is the
// job's own rectangle and is clamped in place to the destination level. Source pixels outside
// the level read its nearest edge pixel whatever the wrap mode. A level with nothing above it,
// and the 16-bit half layout, are left unchanged.
void reduceLevel(ImageBuffer* buffer, int32_t level, Rect16* rect);
