// Whether a drawable is filtered, from what GIMP says about it, and its pixels into the host's
// document and back, through GEGL buffers in the drawable's own encoding, so that 8-bit, 16-bit
// and float drawables reach the module unconverted.
#include "drawable_document.h"

#include <libgimp/gimp.h>

#include <algorithm>
#include <iterator>
#include <limits>

#include "hostapp/sample_scale.h"

namespace gimp_plugin {

namespace {

// The largest width or height the host's 16-bit rectangles hold.
constexpr int32_t kMaxSide = std::numeric_limits<int16_t>::max();

// The document's depth and the babl sample type the samples travel in, for each sample type of
// a drawable. Half float, 32-bit integer and double travel as 32-bit float, the module's one
// depth that holds them without clipping their range.
struct Encoding {
    const char* drawableType;
    int32_t bitDepth;
    const char* type;
};
constexpr Encoding kEncodings[] = {{"u8", 8, "u8"},     {"u16", 16, "u16"},    {"float", 32, "float"},
                                   {"half", 32, "float"}, {"u32", 32, "float"}, {"double", 32, "float"}};

// Bytes from one document row to the next.
size_t rowStride(const hostapp::Document& doc) {
    return static_cast<size_t>(doc.width) * hostapp::planeCount(doc) * hostapp::sampleBytes(doc);
}

// Whether GIMP would refuse to write the drawable's pixels: a lock on them, on the layer a mask
// belongs to, or on a group around that layer.
bool pixelsLocked(int32_t item) {
    for (; item != -1; item = gimp_item_is_layer_mask(item) ? gimp_layer_from_mask(item) : gimp_item_get_parent(item))
        if (gimp_item_get_lock_content(item)) return true;
    return false;
}

}  // namespace

Verdict examineDrawable(int32_t image, int32_t drawable, std::string& error) {
    // The ids first, so that no other call is made with an id that names nothing.
    if (!gimp_image_is_valid(image)) {
        error = "no image has the id " + std::to_string(image);
        return Verdict::BadArgument;
    }
    if (!gimp_item_is_valid(drawable) || !gimp_item_is_drawable(drawable)) {
        error = "no layer, layer mask or channel has the id " + std::to_string(drawable);
        return Verdict::BadArgument;
    }
    if (gimp_item_get_image(drawable) != image) {
        error = "the drawable belongs to another image";
        return Verdict::BadArgument;
    }

    // Drawables whose pixels cannot be written, or filtered.
    if (gimp_item_is_group(drawable)) {
        error = "a layer group cannot be filtered, as its pixels are made from its layers; choose one of its layers";
        return Verdict::Refused;
    }
    if (pixelsLocked(drawable)) {
        error = "the drawable's pixels are locked (Lock pixels, on its layer or a group around it); unlock them first";
        return Verdict::Refused;
    }
    if (gimp_drawable_is_indexed(drawable)) {
        error = "indexed images are not supported; convert the image to RGB or grayscale first (Image > Mode)";
        return Verdict::Refused;
    }

    // A selection that misses the drawable leaves nothing to filter, as for GIMP's own filters.
    gint x, y, w, h;
    if (!gimp_drawable_mask_intersect(drawable, &x, &y, &w, &h)) return Verdict::NothingToDo;
    const int32_t width = gimp_drawable_width(drawable);
    const int32_t height = gimp_drawable_height(drawable);
    if (width > kMaxSide || height > kMaxSide) {
        error = "the layer is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; the filter takes at most " + std::to_string(kMaxSide) + " pixels on a side";
        return Verdict::Refused;
    }
    return Verdict::Filter;
}

bool loadDrawable(int32_t image, int32_t drawable, DrawableDocument& target, std::string& error) {
    // The drawable's own format, which for a layer mask or channel is linear even in a perceptual
    // image, with the sample type the module takes.
    const Babl* own = gimp_drawable_get_format(drawable);
    const std::string ownType = babl_get_name(babl_format_get_type(own, 0));
    const Encoding* encoding = std::find_if(std::begin(kEncodings), std::end(kEncodings),
                                            [&](const Encoding& e) { return ownType == e.drawableType; });
    if (encoding == std::end(kEncodings)) {
        error = "the drawable's sample type (" + ownType + ") is not supported";
        return false;
    }
    const std::string format = std::string(babl_get_name(babl_format_get_model(own))) + " " + encoding->type;

    // The document, with the selection's bounding box as its selection.
    const int32_t width = gimp_drawable_width(drawable);
    const int32_t height = gimp_drawable_height(drawable);
    const bool rgb = gimp_drawable_is_rgb(drawable);
    const bool alpha = gimp_drawable_has_alpha(drawable);
    target.drawable = drawable;
    target.format = babl_format_with_space(format.c_str(), own);
    target.doc = hostapp::makeDocument(width, height, encoding->bitDepth,
                                       rgb ? hostapp::ColourModel::Rgb : hostapp::ColourModel::Gray, alpha);
    gint x, y, w, h;
    gimp_drawable_mask_intersect(drawable, &x, &y, &w, &h);
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
    hostapp::copySamples(target.doc.samples.data(), target.doc.samples.data(), samples, encoding->bitDepth,
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
