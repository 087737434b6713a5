// The image pyramid: fills levels 1 .. lastLevel of an image buffer, each from the completed
// level below it by a 2:1 reduction, its rectangle cut into jobs on the queue it is given.
#pragma once

#include "image/image_buffer.h"
#include "image/work_queue.h"

// Builds every reduced level from level 0, each level's jobs run to completion before the next
// level reads it.
void buildPyramid(ImageBuffer* buffer, WorkQueue* queue);
