// Output pixel conversion into 8-bit, 16-bit and 32-bit float host samples, gray and RGB, with
// or without the transparency plane.
#include "warp/output_pixel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

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

// A sample of one pixel; a plane the host's pixels do not have is not written.
template <typename T>
void storeAt(uint8_t* pixel, int32_t index, int32_t planes, T value) {
    if (index >= 0 && index < planes) std::memcpy(pixel + index * sizeof(T), &value, sizeof value);
}

// One pixel in one sample type.
template <OutputSample kSample>
inline void writePixel(const OutputRow* row, int32_t x, const float colour[4]) {
    const OutputFormat& f = row->format;
    x = std::clamp(x, 0, std::max(row->width - 1, 0));
    const float scale = f.colourScale;
    float r = colour[0] * scale, g = colour[1] * scale, b = colour[2] * scale, a = colour[3] * scale;

    // Float samples: colour as it is, alpha limited to 0..1.
    if constexpr (kSample == OutputSample::Float) {
        uint8_t* pixel = row->destination + 4 * f.planes * x;
        if (f.luma) {
            float sum = r * kLumaRed + g * kLumaGreen + b * kLumaBlue;
            r = static_cast<float>(static_cast<double>(sum) * 0.003921568627451);
        }
        const float samples[3] = {r, g, b};
        for (int i = 0; i < f.colourPlanes; i++) storeAt<float>(pixel, i, f.planes, samples[i]);
        storeAt<float>(pixel, f.alphaPlane, f.planes, std::clamp(a, 0.0f, 1.0f));
        return;
    }

    // Integer samples: alpha lifted by 1.007 and limited, colour truncated, excess spilled. The
    // common case, no channel beyond full intensity, has nothing to spill or limit.
    const int64_t m = f.maximum;
    const double lifted = static_cast<double>(a) * 1.007;
    const int64_t alpha = lifted > 0.0 ? std::min<int64_t>(truncated(lifted), f.alphaMaximum) : 0;
    int64_t v[3];
    const float limit = static_cast<float>(m + 1);
    if (r < limit && g < limit && b < limit) {
        v[0] = r > 0.0f ? static_cast<int64_t>(r) : 0;
        v[1] = g > 0.0f ? static_cast<int64_t>(g) : 0;
        v[2] = b > 0.0f ? static_cast<int64_t>(b) : 0;
        if (f.luma) v[0] = (v[0] * kLumaRed + v[1] * kLumaGreen + v[2] * kLumaBlue) >> 8;
    } else {
        v[0] = std::max<int64_t>(truncated(r), 0);
        v[1] = std::max<int64_t>(truncated(g), 0);
        v[2] = std::max<int64_t>(truncated(b), 0);
        spillExcess(&v[0], &v[1], &v[2], m);
        if (f.luma) v[0] = (v[0] * kLumaRed + v[1] * kLumaGreen + v[2] * kLumaBlue) >> 8;
        for (int64_t& s : v) s = std::min(s, m);
    }

    using Sample = std::conditional_t<kSample == OutputSample::Int8, uint8_t, uint16_t>;
    const int32_t colour32[3] = {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2])};
    storeIntegerPixel<Sample>(row, x, colour32, static_cast<int32_t>(alpha));
}

}  // namespace

void writeOutputPixel(const OutputRow* row, int32_t x, const float colour[4]) {
    switch (row->format.sample) {
        case OutputSample::Int8: writePixel<OutputSample::Int8>(row, x, colour); break;
        case OutputSample::Int16: writePixel<OutputSample::Int16>(row, x, colour); break;
        case OutputSample::Float: writePixel<OutputSample::Float>(row, x, colour); break;
        case OutputSample::None: break;
    }
}

void writeTransparentRun(const OutputRow* row, int32_t from, int32_t to) {
    const OutputFormat& f = row->format;
    const bool everyPlane = f.planes == f.colourPlanes + (f.alphaPlane >= 0 ? 1 : 0) &&
                            (f.alphaPlane < 0 || f.alphaPlane == f.colourPlanes);
    if (everyPlane && f.sample != OutputSample::None && from < to) {
        const size_t sampleBytes = f.sample == OutputSample::Int8 ? 1 : f.sample == OutputSample::Int16 ? 2 : 4;
        const size_t pixelBytes = sampleBytes * static_cast<size_t>(f.planes);
        std::memset(row->destination + pixelBytes * static_cast<size_t>(from), 0,
                    pixelBytes * static_cast<size_t>(to - from));
        return;
    }
    const float transparent[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t x = from; x < to; x++) writeOutputPixel(row, x, transparent);
}

void copyOutputRow(const OutputFormat& format, const uint8_t* from, uint8_t* to, int32_t width) {
    if (format.sample == OutputSample::None || format.planes < 1) return;
    const size_t sampleBytes = format.sample == OutputSample::Int8 ? 1 : format.sample == OutputSample::Int16 ? 2 : 4;
    const size_t pixelBytes = sampleBytes * static_cast<size_t>(format.planes);
    auto written = [&](int32_t plane) { return plane < format.colourPlanes || plane == format.alphaPlane; };
    bool every = true;
    for (int32_t plane = 0; plane < format.planes; plane++) every = every && written(plane);
    if (every) {
        std::memcpy(to, from, pixelBytes * static_cast<size_t>(width));
        return;
    }
    for (int32_t x = 0; x < width; x++, from += pixelBytes, to += pixelBytes) {
        for (int32_t plane = 0; plane < format.planes; plane++) {
            if (written(plane)) std::memcpy(to + plane * sampleBytes, from + plane * sampleBytes, sampleBytes);
        }
    }
}
