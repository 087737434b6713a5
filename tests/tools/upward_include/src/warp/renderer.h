// A warp-engine header that includes downward only.
#include "image/image_buffer.h"
