// Output pixel conversion into 8-bit, 16-bit and 32-bit float host samples, gray and RGB, with
// or without the transparency plane.
#include "warp/output_pixel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Gray from colour: weights that sum to 255, so the integer result is shifted down by 8 and the
// float one divided by 255.
constexpr int32_t kLumaRed = 77, kLumaGreen = 150, kLumaBlue = 28;

// Truncation towards zero of a value that may lie far outside any sample range (or be NaN),
// kept where the conversion is defined and the integer arithmetic below cannot overflow.
int64_t truncated(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int64_t>(std::clamp(v, -1e9, 1e9));
}

// Colour beyond the maximum is not clipped away: part of the excess of the channels that are
// over goes to those that are not, so an over-bright red turns pinkish rather than flat red.
void spillExcess(int64_t* r, int64_t* g, int64_t* b, int64_t m) {
    int32_t code = 0;
    int64_t excess = 0;
    if (*r > m) code |= 1, excess += *r - m;
    if (*g > m) code |= 2, excess += *g - m;
    if (*b > m) code |= 4, excess += *b - m;
    int64_t spill = (excess * 60) >> 8;

    // One channel over: half to each of the others, and what overflows one goes to the third.
    auto share = [&](int64_t* first, int64_t* second) {
        *first += spill >> 1;
        *second += spill >> 1;
        if (*first > m) *second += *first - m;
        if (*second > m) *first += *second - m;
    };
    switch (code) {
        case 1: share(g, b); break;
        case 2: share(r, b); break;
        case 4: share(r, g); break;
        case 3: *b += spill; break;
        case 5: *g += spill; break;
        case 6: *r += spill; break;
        default: break;
    }
}

// A preview composes the result over a checkerboard of two light grays, 8 pixels a square.
void composeOverCheckerboard(float colour[4], int32_t x, int32_t y) {
    float ground = ((x >> 3) + (y >> 3)) & 1 ? 0.8f : 1.0f;
    float a = std::clamp(colour[3], 0.0f, 1.0f);
    for (int i = 0; i < 3; i++) colour[i] = colour[i] * a + ground * (1.0f - a);
    colour[3] = 1.0f;
}

// A sample of one pixel; a plane the host's pixels do not have is not written.
template <typename T>
void storeAt(uint8_t* pixel, int32_t index, int32_t planes, T value) {
    if (index >= 0 && index < planes) std::memcpy(pixel + index * sizeof(T), &value, sizeof value);
}

// One pixel in one sample type; the type is fixed per row, so the row loop below runs one
// instance of this straight through.
template <OutputSample kSample>
inline void writePixel(const OutputRow* row, int32_t x, float colour[4]) {
    const OutputFormat& f = row->format;
    x = std::clamp(x, 0, std::max(row->width - 1, 0));
    if (f.checkerboard) composeOverCheckerboard(colour, x, row->y);
    for (int i = 0; i < 4; i++) colour[i] *= f.colourScale;

    // Float samples: colour as it is, alpha limited to 0..1.
    if constexpr (kSample == kOutputFloat) {
        uint8_t* pixel = row->destination + 4 * f.planes * x;
        float alpha = std::clamp(colour[3], 0.0f, 1.0f);
        if (f.luma) {
            float sum = colour[0] * kLumaRed + colour[1] * kLumaGreen + colour[2] * kLumaBlue;
            colour[0] = static_cast<float>(static_cast<double>(sum) * 0.003921568627451);
        }
        for (int i = 0; i < f.colourPlanes; i++) storeAt<float>(pixel, i, f.planes, colour[i]);
        storeAt<float>(pixel, f.alphaPlane, f.planes, alpha);
        return;
    }

    // Integer samples: alpha lifted by 1.007 and limited, colour truncated, excess spilled.
    int64_t m = f.maximum;
    int64_t a = std::clamp<int64_t>(truncated(static_cast<double>(colour[3]) * 1.007), 0, f.alphaMaximum);
    int64_t c[3];
    for (int i = 0; i < 3; i++) c[i] = std::max<int64_t>(truncated(colour[i]), 0);
    spillExcess(&c[0], &c[1], &c[2], m);
    if (f.luma) c[0] = (c[0] * kLumaRed + c[1] * kLumaGreen + c[2] * kLumaBlue) >> 8;
    for (int64_t& v : c) v = std::min(v, m);

    if constexpr (kSample == kOutputInt8) {
        uint8_t* pixel = row->destination + f.planes * x;
        for (int i = 0; i < f.colourPlanes; i++) storeAt<uint8_t>(pixel, i, f.planes, static_cast<uint8_t>(c[i]));
        storeAt<uint8_t>(pixel, f.alphaPlane, f.planes, static_cast<uint8_t>(a));
    } else {
        uint8_t* pixel = row->destination + 2 * f.planes * x;
        for (int i = 0; i < f.colourPlanes; i++) storeAt<uint16_t>(pixel, i, f.planes, static_cast<uint16_t>(c[i]));
        storeAt<uint16_t>(pixel, f.alphaPlane, f.planes, static_cast<uint16_t>(a));
    }
}

template <OutputSample kSample>
void writePixels(const OutputRow* row, const float* colours, size_t colourStride, int32_t count) {
    for (int32_t x = 0; x < count; x++, colours += colourStride) {
        float colour[4] = {colours[0], colours[1], colours[2], colours[3]};
        writePixel<kSample>(row, x, colour);
    }
}

}  // namespace

void writeOutputPixel(const OutputRow* row, int32_t x, float colour[4]) {
    switch (row->format.sample) {
        case kOutputInt8: writePixel<kOutputInt8>(row, x, colour); break;
        case kOutputInt16: writePixel<kOutputInt16>(row, x, colour); break;
        case kOutputFloat: writePixel<kOutputFloat>(row, x, colour); break;
        case kOutputNone: break;
    }
}

void writeOutputRow(const OutputRow* row, const float* colours, size_t colourStride, int32_t count) {
    switch (row->format.sample) {
        case kOutputInt8: writePixels<kOutputInt8>(row, colours, colourStride, count); break;
        case kOutputInt16: writePixels<kOutputInt16>(row, colours, colourStride, count); break;
        case kOutputFloat: writePixels<kOutputFloat>(row, colours, colourStride, count); break;
        case kOutputNone: break;
    }
}
