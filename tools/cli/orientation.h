// Turning a loaded image upright: the pixels are rearranged as the file's orientation says they
// are shown, so that the filter warps the picture the user sees.
#pragma once

#include <functional>

#include "image_file.h"

namespace cli {

// Applies image.orientation (EXIF's 1..8) to the pixels, the size and the resolution, and
// rewrites the EXIF and XMP to say orientation 1. Other values count as 1. stop, when set, is
// asked between rows; false when it answered true (the image is then left as it was).
bool turnUpright(Image& image, const std::function<bool()>& stop = {});

}  // namespace cli
