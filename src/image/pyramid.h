// The image pyramid: fills levels 1 .. lastLevel of an image buffer, each from the completed
// level below it by a 2:1 reduction, one work-queue job per level on the queue it is given.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "image/image_buffer.h"
#include "image/work_queue.h"

// Builds every reduced level from level 0, unless the buffer's wrap mode asks for no pyramid.
void buildPyramid(ImageBuffer* buffer, WorkQueue* queue);

// Reduces level startLevel into startLevel + 1, then that into the next, up to the last level,
// each level's job run to completion before the next level reads it.
void buildLevelsFrom(ImageBuffer* buffer, int32_t startLevel, WorkQueue* queue);

// One reduction: computes the pixels of level + 1 inside rect from level, after clamping rect
// in place to the destination level. Source pixels outside
// the level read its nearest edge pixel whatever the wrap mode. A level with nothing above it,
// and the 16-bit half layout, are left unchanged.
void reduceLevel(ImageBuffer* buffer, int32_t level, Rect16* rect);
