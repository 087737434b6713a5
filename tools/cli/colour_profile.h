// ICC profiles made from a colour encoding given as gamma and chromaticities (a PNG file's gAMA
// and cHRM chunks), for formats whose only colour information is a profile.
#pragma once

#include <cstdint>
#include <vector>

#include "image_file.h"

namespace cli {

// A profile for gray (colours 1) or RGB (3) values encoded with the gamma and chromaticities: a
// gamma without chromaticities has sRGB's, chromaticities without a gamma have sRGB's curve, as
// colour-managed readers take such a PNG file. Empty when the encoding gives neither, or when its
// chromaticities make no profile.
std::vector<uint8_t> profileFromEncoding(const ColourEncoding& colour, int32_t colours);

}  // namespace cli
