// Drawable pixels into the host's document and back, through GEGL buffers in the drawable's
// own encoding, so that 8-bit, 16-bit and float drawables reach the module unconverted.
#include "drawable_document.h"

#include <libgimp/gimp.h>

#include <limits>

#include "hostapp/sample_scale.h"

namespace gimp_plugin {

namespace {

// The largest width or height the host's 16-bit rectangles hold.
constexpr int32_t kMaxSide = std::numeric_limits<int16_t>::max();

// The document's depth and the babl sample type for a precision, and whether its transfer
// curve is linear. Half, 32-bit integer and double precision travel as 32-bit float, the
// module's one depth that holds them without clipping their range.
struct Encoding {
    int32_t bitDepth;
    const char* type;
    bool linear;
};

bool encodingOf(GimpPrecision precision, Encoding& encoding) {
    switch (precision) {
        case GIMP_PRECISION_U8_LINEAR: encoding = {8, "u8", true}; return true;
        case GIMP_PRECISION_U8_GAMMA: encoding = {8, "u8", false}; return true;
        case GIMP_PRECISION_U16_LINEAR: encoding = {16, "u16", true}; return true;
        case GIMP_PRECISION_U16_GAMMA: encoding = {16, "u16", false}; return true;
        case GIMP_PRECISION_U32_LINEAR:
        case GIMP_PRECISION_HALF_LINEAR:
        case GIMP_PRECISION_FLOAT_LINEAR:
        case GIMP_PRECISION_DOUBLE_LINEAR: encoding = {32, "float", true}; return true;
        case GIMP_PRECISION_U32_GAMMA:
        case GIMP_PRECISION_HALF_GAMMA:
        case GIMP_PRECISION_FLOAT_GAMMA:
        case GIMP_PRECISION_DOUBLE_GAMMA: encoding = {32, "float", false}; return true;
    }
    return false;
}

// A babl format name such as "R'G'B'A u8" or "YA float".
std::string formatName(const Encoding& encoding, bool rgb, bool alpha) {
    std::string model = rgb ? (encoding.linear ? "RGB" : "R'G'B'") : (encoding.linear ? "Y" : "Y'");
    return model + (alpha ? "A " : " ") + encoding.type;
}

// Bytes from one document row to the next.
size_t rowStride(const hostapp::Document& doc) {
    return static_cast<size_t>(doc.width) * hostapp::planeCount(doc) * hostapp::sampleBytes(doc);
}

}  // namespace

bool loadDrawable(int32_t image, int32_t drawable, DrawableDocument& target, std::string& error) {
    // What the drawable is and whether the filter takes it.
    const int32_t width = gimp_drawable_width(drawable);
    const int32_t height = gimp_drawable_height(drawable);
    if (gimp_drawable_is_indexed(drawable)) {
        error = "indexed images are not supported; convert the image to RGB or grayscale first (Image > Mode)";
        return false;
    }
    if (width > kMaxSide || height > kMaxSide) {
        error = "the layer is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; the filter takes at most " + std::to_string(kMaxSide) + " pixels on a side";
        return false;
    }
    Encoding encoding;
    if (!encodingOf(gimp_image_get_precision(image), encoding)) {
        error = "the image's precision is not supported";
        return false;
    }
    gint x, y, w, h;
    if (!gimp_drawable_mask_intersect(drawable, &x, &y, &w, &h)) {
        error = "the selection does not touch the active layer";
        return false;
    }

    // The document, with the selection's bounding box as its selection.
    const bool rgb = gimp_drawable_is_rgb(drawable);
    const bool alpha = gimp_drawable_has_alpha(drawable);
    target.drawable = drawable;
    target.format = babl_format_with_space(formatName(encoding, rgb, alpha).c_str(), gimp_drawable_get_format(drawable));
    target.doc = hostapp::makeDocument(width, height, encoding.bitDepth,
                                       rgb ? hostapp::ColourModel::Rgb : hostapp::ColourModel::Gray, alpha);
    if (!gimp_selection_is_empty(image)) {
        target.doc.hasSelection = true;
        target.doc.selection = Rect16{static_cast<int16_t>(y), static_cast<int16_t>(x), static_cast<int16_t>(y + h),
                                      static_cast<int16_t>(x + w)};
    }

    // The pixels, 16-bit ones moved onto the host's scale.
    GeglBuffer* buffer = gimp_drawable_get_buffer(drawable);
    gegl_buffer_get(buffer, GEGL_RECTANGLE(0, 0, width, height), 1.0, target.format, target.doc.samples.data(),
                    static_cast<gint>(rowStride(target.doc)), GEGL_ABYSS_NONE);
    g_object_unref(buffer);
    const size_t samples = target.doc.samples.size() / static_cast<size_t>(hostapp::sampleBytes(target.doc));
    hostapp::copySamples(target.doc.samples.data(), target.doc.samples.data(), samples, encoding.bitDepth,
                         hostapp::toHostScale);
    return true;
}

void storeDrawable(DrawableDocument& source) {
    hostapp::Document& doc = source.doc;
    const Rect16 rect = hostapp::filterRectOf(doc);
    const int32_t width = rect.right - rect.left;
    const int32_t height = rect.bottom - rect.top;

    // The rectangle's rows back on the drawable's 16-bit scale.
    const size_t rowSamples = static_cast<size_t>(width) * hostapp::planeCount(doc);
    for (int32_t row = rect.top; row < rect.bottom; row++) {
        uint8_t* samples = hostapp::sampleAddress(doc, rect.left, row, 0);
        hostapp::copySamples(samples, samples, rowSamples, doc.bitDepth, hostapp::fromHostScale);
    }

    // Through the shadow buffer, merged under the selection mask with an undo step.
    GeglBuffer* shadow = gimp_drawable_get_shadow_buffer(source.drawable);
    gegl_buffer_set(shadow, GEGL_RECTANGLE(rect.left, rect.top, width, height), 0, source.format,
                    hostapp::sampleAddress(doc, rect.left, rect.top, 0), static_cast<gint>(rowStride(doc)));
    g_object_unref(shadow);
    gimp_drawable_merge_shadow(source.drawable, TRUE);
    gimp_drawable_update(source.drawable, rect.left, rect.top, width, height);
}

}  // namespace gimp_plugin
