// A lower layer that reaches up into the warp engine: the layer check must refuse it.
#include "image/image_buffer.h"
#include "warp/renderer.h"
