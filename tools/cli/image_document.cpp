// Image file samples into the host's document and back. The document stores the same
// interleaved layout (colour channels, then alpha), so only 16-bit samples change value.
#include "image_document.h"

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

hostapp::Document documentOf(Image& image, bool flat) {
    if (flat && hasAlpha(image)) flatten(image);
    hostapp::Document doc = hostapp::makeDocument(image.width, image.height, image.bits,
                                                  image.channels >= 3 ? hostapp::ColourModel::Rgb : hostapp::ColourModel::Gray,
                                                  hasAlpha(image));
    hostapp::copySamples(doc.samples.data(), image.samples.data(), sampleCount(image), image.bits, hostapp::toHostScale);
    return doc;
}

void takeSamples(Image& image, const hostapp::Document& doc) {
    hostapp::copySamples(image.samples.data(), doc.samples.data(), sampleCount(image), image.bits, hostapp::fromHostScale);
}

}  // namespace cli
