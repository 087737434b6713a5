// The resampling kernels: a 5 x 5 separable windowed-sinc read of one pyramid level, one kernel
// per sample format, and the level-pair read the texture sampler calls for every probe.
// Results are on the data's own scale (0..255, 0..32768 or the stored floats); they are not
// clamped, as the kernel's negative lobes may carry them slightly past the range.
#pragma once

#include <cstdint>

#include "image/image_buffer.h"

// The four channels at normalised position (x, y), filtered at `level` and blended towards the
// next coarser level by `fraction` (0 reads one level). The level is clamped to
// 0..lastLevel - 1 so that its successor exists. Positions below 0 read as 0. The buffer must
// hold pixels and weights.
void readLevelPair(const ImageBuffer* buffer, int32_t level, float fraction, float x, float y,
                   float out[4]);

// One read of a level (0..lastLevel of a buffer with pixels and weights) at kernel position
// (u, v), in texels of that level with texel centres at whole numbers. Taps outside the level
// repeat its edge.
void filterRgba8(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]);
void filterRgba16(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]);
void filterRgbaFloat(const ImageBuffer* buffer, int32_t level, float u, float v, float out[4]);
