// Image file samples into the host's document and back. The document stores the same
// interleaved layout (colour channels, then alpha), so only 16-bit samples change value, unless
// an opaque transparency plane is added for a layer or the result is composed over a colour.
#include "image_document.h"

#include <cmath>
#include <cstring>

#include "hostapp/sample_scale.h"

namespace cli {

// Applies alpha over black and leaves the colour channels only.
static void flatten(Image& image) {
    premultiplyAlpha(image);
    const size_t bytes = static_cast<size_t>(sampleBytes(image));
    const size_t colourBytes = (image.channels - 1) * bytes;
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    for (size_t p = 0; p < pixels; p++)
        memmove(image.samples.data() + p * colourBytes, image.samples.data() + p * image.channels * bytes, colourBytes);
    image.channels--;
    image.samples.resize(pixels * colourBytes);
    image.samples.shrink_to_fit();
}

hostapp::Document documentOf(Image& image, bool flat, bool asLayer) {
    if (flat && hasAlpha(image)) flatten(image);
    const bool addPlane = asLayer && !hasAlpha(image);
    const hostapp::ColourModel model = image.channels >= 3 ? hostapp::ColourModel::Rgb : hostapp::ColourModel::Gray;
    if (!asLayer) {
        // The document is the image's own samples, 16-bit ones brought to the host's scale in
        // place; the rows come back into the image as the host stores them.
        hostapp::Document doc = hostapp::makeDocument(0, 0, image.bits, model, hasAlpha(image));
        doc.width = image.width;
        doc.height = image.height;
        hostapp::copySamples(image.samples.data(), image.samples.data(), sampleCount(image), image.bits, hostapp::toHostScale);
        doc.samples.lend(image.samples.data(), sampleCount(image) * sampleBytes(image));
        return doc;
    }
    hostapp::Document doc = hostapp::makeDocument(image.width, image.height, image.bits, model, hasAlpha(image) || addPlane);
    if (!addPlane) {
        hostapp::copySamples(doc.samples.data(), image.samples.data(), sampleCount(image), image.bits, hostapp::toHostScale);
        return doc;
    }
    // Pixel by pixel: the colour, then a full transparency sample.
    const double opaque = image.bits == 8 ? 255 : image.bits == 16 ? 32768 : 1.0;
    const size_t colourBytes = static_cast<size_t>(image.channels) * sampleBytes(image);
    for (int32_t y = 0; y < image.height; y++)
        for (int32_t x = 0; x < image.width; x++) {
            const uint8_t* from = image.samples.data() + (static_cast<size_t>(y) * image.width + x) * colourBytes;
            hostapp::copySamples(hostapp::sampleAddress(doc, x, y, 0), from, image.channels, image.bits, hostapp::toHostScale);
            hostapp::setSampleValue(doc, x, y, image.channels, opaque);
        }
    return doc;
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

void takeRows(Image& image, const hostapp::Document& doc, int32_t first, int32_t end, const uint8_t* background) {
    const size_t stride = rowBytes(image);
    if (!background) {
        const size_t perRow = static_cast<size_t>(image.width) * image.channels;
        hostapp::copySamples(image.samples.data() + first * stride, doc.samples.data() + first * stride, perRow * (end - first),
                    image.bits, hostapp::fromHostScale);
        return;
    }
    // A gray image is composed over the colour's luma.
    const double luma = std::round(0.299 * background[0] + 0.587 * background[1] + 0.114 * background[2]);
    const size_t bytes = static_cast<size_t>(sampleBytes(image));
    const int32_t colours = image.channels;
    for (int32_t y = first; y < end; y++) {
        uint8_t* out = image.samples.data() + y * stride;
        for (int32_t x = 0; x < image.width; x++)
            for (int32_t c = 0; c < colours; c++, out += bytes)
                compose(out, hostapp::sampleAddress(doc, x, y, c), hostapp::sampleAddress(doc, x, y, colours),
                        colours == 1 ? luma : background[c], image.bits);
    }
}

}  // namespace cli
