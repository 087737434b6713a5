// Image file samples into the host's document and back. The document stores the same
// interleaved layout (colour channels, then alpha), so only 16-bit samples change value, unless
// an opaque transparency plane is added for a layer or the result is composed over a colour.
#include "image_document.h"

#include <cstring>

#include "hostapp/file_samples.h"
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
    hostapp::Document doc = hostapp::makeDocument(image.width, image.height, image.bits, model, true);
    hostapp::fillDocument(doc, image.samples.data(), image.channels);
    return doc;
}

void takeRows(Image& image, const hostapp::Document& doc, int32_t first, int32_t end, const uint8_t* background) {
    const size_t stride = rowBytes(image);
    if (background) {
        hostapp::composeRows(doc, first, end, background, image.samples.data() + first * stride);
        return;
    }
    const size_t perRow = static_cast<size_t>(image.width) * image.channels;
    hostapp::copySamples(image.samples.data() + first * stride, doc.samples.data() + first * stride, perRow * (end - first),
                         image.bits, hostapp::fromHostScale);
}

}  // namespace cli
