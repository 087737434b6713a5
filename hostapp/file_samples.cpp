// Outside samples into documents and back: a plain copy with the 16-bit scale conversion when
// the layouts agree, pixel by pixel where a transparency plane is added or the result is
// composed over a colour.
#include "hostapp/file_samples.h"

#include <cmath>
#include <cstring>

#include "hostapp/sample_scale.h"

namespace hostapp {

void fillDocument(Document& doc, const uint8_t* samples, int32_t channels) {
    const size_t pixels = static_cast<size_t>(doc.width) * doc.height;
    if (planeCount(doc) == channels) {
        copySamples(doc.samples.data(), samples, pixels * channels, doc.bitDepth, toHostScale);
        return;
    }
    // Pixel by pixel: the colour, then a full transparency sample.
    const double opaque = doc.bitDepth == 8 ? 255 : doc.bitDepth == 16 ? 32768 : 1.0;
    const size_t colourBytes = static_cast<size_t>(channels) * sampleBytes(doc);
    for (int32_t y = 0; y < doc.height; y++)
        for (int32_t x = 0; x < doc.width; x++) {
            const uint8_t* from = samples + (static_cast<size_t>(y) * doc.width + x) * colourBytes;
            copySamples(sampleAddress(doc, x, y, 0), from, channels, doc.bitDepth, toHostScale);
            setSampleValue(doc, x, y, channels, opaque);
        }
}

// One composed sample: colour c with alpha a (both on the document's scale) over the
// background b (on the file's scale), rounded once to the file's scale.
static void compose(uint8_t* out, const uint8_t* c, const uint8_t* a, double b8, int32_t bits) {
    if (bits == 8) {
        *out = static_cast<uint8_t>((*c * *a + static_cast<uint32_t>(b8) * (255u - *a) + 127u) / 255u);
    } else if (bits == 16) {
        uint16_t c16, a16;
        memcpy(&c16, c, 2);
        memcpy(&a16, a, 2);
        const uint64_t b16 = static_cast<uint64_t>(b8) * 257;
        const uint64_t sum = uint64_t{c16} * 65535 * a16 + b16 * (32768u - a16) * 32768;
        const uint16_t v = static_cast<uint16_t>((sum + (uint64_t{1} << 29)) >> 30);
        memcpy(out, &v, 2);
    } else {
        float cf, af;
        memcpy(&cf, c, 4);
        memcpy(&af, a, 4);
        const float v = cf * af + static_cast<float>(b8 / 255.0) * (1.0f - af);
        memcpy(out, &v, 4);
    }
}

void composeRows(const Document& doc, int32_t first, int32_t end, const uint8_t* background, uint8_t* out) {
    const int32_t colours = colourPlanes(doc);
    const int32_t bytes = sampleBytes(doc);
    const double luma = std::round(0.299 * background[0] + 0.587 * background[1] + 0.114 * background[2]);
    for (int32_t y = first; y < end; y++)
        for (int32_t x = 0; x < doc.width; x++)
            for (int32_t c = 0; c < colours; c++, out += bytes)
                compose(out, sampleAddress(doc, x, y, c), sampleAddress(doc, x, y, colours),
                        colours == 1 ? luma : background[c], doc.bitDepth);
}

}  // namespace hostapp
