// Output pixel conversion: turns one rendered colour (red, green, blue and straight alpha on a
// 0..1 scale) into the host's sample format and stores it in the host's current output row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The host's sample type; nothing is written for None, the type of a document whose mode and
// depth match no other.
enum class OutputSample : int32_t { None, Int8, Int16, Float };

// How rendered colours become the document's samples, decided once per run.
struct OutputFormat {
    OutputSample sample;
    int32_t maximum;       // the largest integer colour sample
    float colourScale;     // full intensity in samples: 255, 32768 or 1.0
    int32_t alphaMaximum;
    int32_t planes;        // interleaved samples per pixel
    int32_t colourPlanes;  // samples written before the transparency plane: 3 RGB, 1 gray
    bool luma;             // fewer than three planes: the colour is folded into one gray value
    int32_t alphaPlane;    // plane of the transparency sample, -1 when none is written
};

// One of the host's output rows, built by the run for every row it renders.
struct OutputRow {
    uint8_t* destination;  // the host's samples of the row, pixel after pixel
    int32_t width;         // pixels in the row; columns beyond are written to the last one
    OutputFormat format;
};

// Stores the colour of pixel x. 8-bit and 16-bit documents get integer samples (colour above
// full intensity spilled into the other channels, gray from weighted channels, alpha lifted by
// 1.007 so near-opaque becomes opaque); 32-bit documents get floats, colour unlimited.
void writeOutputPixel(const OutputRow* row, int32_t x, const float colour[4]);

// Stores pixel x's integer samples (x inside the row), colour and alpha, each in its sample
// type's range, where writeOutputPixel stores them: colour in planes 0 .. colourPlanes - 1,
// alpha in alphaPlane, each only when the host's pixels have the plane.
template <typename Sample>
inline void storeIntegerPixel(const OutputRow* row, int32_t x, const int32_t colour[3], int32_t alpha) {
    const OutputFormat& f = row->format;
    uint8_t* pixel = row->destination + sizeof(Sample) * static_cast<size_t>(f.planes) * static_cast<size_t>(x);
    const Sample samples[4] = {static_cast<Sample>(colour[0]), static_cast<Sample>(colour[1]),
                               static_cast<Sample>(colour[2]), static_cast<Sample>(alpha)};
    // RGB with alpha after it, or without: one copy.
    if (f.colourPlanes == 3 && f.planes >= 3 && (f.alphaPlane == 3 || f.alphaPlane < 0)) {
        std::memcpy(pixel, samples, 3 * sizeof(Sample));
        if (f.alphaPlane == 3 && f.planes >= 4) std::memcpy(pixel + 3 * sizeof(Sample), samples + 3, sizeof(Sample));
        return;
    }
    auto store = [&](int32_t plane, Sample sample) {
        if (plane >= 0 && plane < f.planes) std::memcpy(pixel + plane * sizeof(Sample), &sample, sizeof sample);
    };
    for (int32_t i = 0; i < f.colourPlanes; i++) store(i, samples[i]);
    store(f.alphaPlane, samples[3]);
}

// Writes pixels from .. to - 1 (inside the row) transparent, as writeOutputPixel writes a colour
// of zeros: where every plane of a pixel is written, the run is cleared at once.
void writeTransparentRun(const OutputRow* row, int32_t from, int32_t to);

// Copies the samples that writeOutputPixel writes, and only those, of pixels 0 .. width - 1
// from one row of the format's layout to another: samples of planes it does not write keep
// what the destination held.
void copyOutputRow(const OutputFormat& format, const uint8_t* from, uint8_t* to, int32_t width);
