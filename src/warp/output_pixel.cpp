// Output pixel conversion into 8-bit, 16-bit and 32-bit float host samples, gray and RGB, with
// or without the transparency plane.
#include "warp/output_pixel.h"

#include <algorithm>
#include <cmath>

#include "host/parameters.h"
#include "host/plane_import.h"
#include "image/pixel_access.h"

namespace {

enum class SampleFormat { None, Int8, Int16, Float32 };

struct OutputFormat {
    SampleFormat format;
    int32_t maximum;    // M: the largest integer colour sample
    float colourScale;  // full intensity in samples
    int32_t alphaMaximum;
    bool rgb;
};

OutputFormat outputFormat(int16_t imageMode, int32_t depth) {
    if ((imageMode == kModeGrayScale || imageMode == kModeRGBColor) && depth < 9) {
        return {SampleFormat::Int8, 255, 255.0f, 255, imageMode == kModeRGBColor};
    }
    if ((imageMode == kModeGray16 || imageMode == kModeRGB48) && depth == 16) {
        return {SampleFormat::Int16, 32768, 32768.0f, 32768, imageMode == kModeRGB48};
    }
    if (imageMode == kModeRGB96 || imageMode == kModeGray32 || depth == 32) {
        return {SampleFormat::Float32, 65535, 1.0f, 1, imageMode == kModeRGB96};
    }
    return {SampleFormat::None, 0, 0.0f, 0, false};
}

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

template <typename T>
void storeAt(uint8_t* pixel, int32_t index, int32_t planes, T value) {
    if (index >= 0 && index < planes) storeSample<T>(pixel + index * sizeof(T), value);
}

}  // namespace

void writeOutputPixel(int32_t x, int32_t y, float colour[4], const PluginGlobals* globals) {
    const FilterRecord* record = globals->filterRecord;
    x = std::clamp(x, 0, std::max(globals->filterWidth - 1, 0));
    y = std::clamp(y, 0, std::max(globals->filterHeight - 1, 0));

    OutputFormat f = outputFormat(record->imageMode, record->depth);
    if (f.format == SampleFormat::None) return;
    if (parameterBlock(globals)->outputMode == 1) composeOverCheckerboard(colour, x, y);

    int32_t planes = record->planes;
    bool transparency = hasTransparency(globals);
    int32_t alphaIndex = transparencyPlane(globals, record->outLayerPlanes);
    bool gray = planes < 3;
    for (int i = 0; i < 4; i++) colour[i] *= f.colourScale;

    // Float samples: colour as it is, alpha limited to 0..1.
    if (f.format == SampleFormat::Float32) {
        uint8_t* pixel = static_cast<uint8_t*>(record->outData) + 4 * planes * x;
        float alpha = std::clamp(colour[3], 0.0f, 1.0f);
        if (gray) {
            float sum = colour[0] * 77.0f + colour[1] * 150.0f + colour[2] * 28.0f;
            colour[0] = static_cast<float>(static_cast<double>(sum) * 0.003921568627451);
        }
        int32_t channels = f.rgb ? 3 : 1;
        for (int i = 0; i < channels; i++) storeAt<float>(pixel, i, planes, colour[i]);
        if (transparency) storeAt<float>(pixel, alphaIndex, planes, alpha);
        return;
    }

    // Integer samples: alpha lifted by 1.007 and limited, colour truncated, excess spilled.
    int64_t m = f.maximum;
    int64_t a = std::clamp<int64_t>(truncated(static_cast<double>(colour[3]) * 1.007), 0,
                                    f.alphaMaximum);
    int64_t c[3];
    for (int i = 0; i < 3; i++) c[i] = std::max<int64_t>(truncated(colour[i]), 0);
    spillExcess(&c[0], &c[1], &c[2], m);
    if (gray) c[0] = (c[0] * 77 + c[1] * 150 + c[2] * 28) >> 8;
    for (int64_t& v : c) v = std::min(v, m);

    int32_t channels = f.rgb ? 3 : 1;
    if (f.format == SampleFormat::Int8) {
        uint8_t* pixel = static_cast<uint8_t*>(record->outData) + planes * x;
        for (int i = 0; i < channels; i++) storeAt<uint8_t>(pixel, i, planes, static_cast<uint8_t>(c[i]));
        if (transparency) storeAt<uint8_t>(pixel, alphaIndex, planes, static_cast<uint8_t>(a));
    } else {
        uint8_t* pixel = static_cast<uint8_t*>(record->outData) + 2 * planes * x;
        for (int i = 0; i < channels; i++) storeAt<uint16_t>(pixel, i, planes, static_cast<uint16_t>(c[i]));
        if (transparency) storeAt<uint16_t>(pixel, alphaIndex, planes, static_cast<uint16_t>(a));
    }
}
