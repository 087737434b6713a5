// Pixel delivery: one routine for the three buffers, which differ only in where the record
// states their request and takes the answer, and in what fills them.
#include "hostapp/delivery.h"

#include <algorithm>
#include <cstring>

#include "hostapp/host.h"

namespace hostapp {

namespace {

bool isEmpty(const Rect16& r) { return r.bottom <= r.top || r.right <= r.left; }

// Where the FilterRecord states one buffer's request and takes the answer. The mask is one
// 8-bit plane without column or plane strides; output is neither sampled nor padded.
struct BufferFields {
    Rect16 FilterRecord::*rect;
    int16_t FilterRecord::*loPlane;  // null: the mask's one plane
    int16_t FilterRecord::*hiPlane;
    Fixed FilterRecord::*rate;       // null: every pixel
    int16_t FilterRecord::*padding;  // null: a request reaching outside the image is clipped
    void* FilterRecord::*data;
    int32_t FilterRecord::*rowBytes;
    int32_t FilterRecord::*columnBytes;  // null: not stated
    int32_t FilterRecord::*planeBytes;
};

const BufferFields kFields[] = {
    {&FilterRecord::inRect, &FilterRecord::inLoPlane, &FilterRecord::inHiPlane, &FilterRecord::inputRate,
     &FilterRecord::inputPadding, &FilterRecord::inData, &FilterRecord::inRowBytes, &FilterRecord::inColumnBytes,
     &FilterRecord::inPlaneBytes},
    {&FilterRecord::outRect, &FilterRecord::outLoPlane, &FilterRecord::outHiPlane, nullptr, nullptr,
     &FilterRecord::outData, &FilterRecord::outRowBytes, &FilterRecord::outColumnBytes, &FilterRecord::outPlaneBytes},
    {&FilterRecord::maskRect, nullptr, nullptr, &FilterRecord::maskRate, &FilterRecord::maskPadding,
     &FilterRecord::maskData, &FilterRecord::maskRowBytes, nullptr, nullptr},
};

// The sampled image size for a rate (16.16): every rate-th pixel is handed out.
int32_t sampledExtent(int32_t extent, Fixed rate) {
    return static_cast<int32_t>((static_cast<int64_t>(extent) * kFixedOne + rate - 1) / rate);
}

// Where a request reaches outside the image: without padding the host clips the rectangle
// (and rewrites it); asked for an error, it refuses; otherwise it pads.
int16_t settleRequest(Rect16& rect, int16_t padding, int32_t width, int32_t height) {
    bool outside = rect.top < 0 || rect.left < 0 || rect.bottom > height || rect.right > width;
    if (!outside) return kNoErr;
    if (padding == kPaddingErrorOnBounds) return kParamErr;
    if (padding == kPaddingEdgeReplication || padding >= 0) return kNoErr;
    rect.top = static_cast<int16_t>(std::max<int32_t>(rect.top, 0));
    rect.left = static_cast<int16_t>(std::max<int32_t>(rect.left, 0));
    rect.bottom = static_cast<int16_t>(std::min<int32_t>(rect.bottom, height));
    rect.right = static_cast<int16_t>(std::min<int32_t>(rect.right, width));
    if (isEmpty(rect)) rect = Rect16{0, 0, 0, 0};
    return kNoErr;
}

// A delivery's buffer holds `size` bytes. It is reused from one delivery to the next, but
// given back when it would stay mostly empty, as after the tiles of the import, once the rows
// that follow them are a fraction of a tile.
void sizeDelivery(std::vector<uint8_t>& bytes, size_t size) {
    if (size < bytes.capacity() / 4) std::vector<uint8_t>().swap(bytes);
    bytes.resize(size);
}

// Fills an interleaved buffer for `rect` in the sampled image: sample(x, y, plane, pad, value,
// out) reads a document pixel, or with `pad` writes the padding value for a position outside
// the image.
template <typename Sample>
void gather(std::vector<uint8_t>& bytes, const Rect16& rect, Fixed rate, int16_t padding, int32_t width,
            int32_t height, int32_t planes, int32_t sampleSize, Sample sample) {
    int32_t w = rect.right - rect.left;
    int32_t h = rect.bottom - rect.top;
    sizeDelivery(bytes, static_cast<size_t>(w) * h * planes * sampleSize);
    uint8_t* out = bytes.data();
    for (int32_t y = rect.top; y < rect.bottom; y++) {
        int32_t docY = static_cast<int32_t>((static_cast<int64_t>(y) * rate) >> 16);
        for (int32_t x = rect.left; x < rect.right; x++) {
            int32_t docX = static_cast<int32_t>((static_cast<int64_t>(x) * rate) >> 16);
            bool inside = docX >= 0 && docX < width && docY >= 0 && docY < height;
            int32_t sx = std::clamp(docX, 0, width - 1);
            int32_t sy = std::clamp(docY, 0, height - 1);
            for (int32_t p = 0; p < planes; p++, out += sampleSize) {
                bool pad = !inside && padding >= 0;
                sample(sx, sy, p, pad, padding, out);
            }
        }
    }
}

// Writes a padding value 0..255 on the sample scale of the document.
void writePadding(uint8_t* out, int32_t sampleSize, int16_t value) {
    if (sampleSize == 1) {
        *out = static_cast<uint8_t>(value);
    } else if (sampleSize == 2) {
        uint16_t v = static_cast<uint16_t>(value * 32768 / 255);
        memcpy(out, &v, 2);
    } else {
        float v = value / 255.0f;
        memcpy(out, &v, 4);
    }
}

// Copies the interleaved samples of `planes` planes from `lo` between a pixel run of the
// document and a packed one, a row at a time when every plane goes.
void copyPixels(uint8_t* to, int32_t toPlanes, const uint8_t* from, int32_t fromPlanes, int32_t planes,
                int32_t width, int32_t sampleSize) {
    const size_t pixelBytes = static_cast<size_t>(planes) * sampleSize;
    if (toPlanes == planes && fromPlanes == planes) {
        memcpy(to, from, width * pixelBytes);
        return;
    }
    for (int32_t x = 0; x < width; x++, to += toPlanes * sampleSize, from += fromPlanes * sampleSize)
        memcpy(to, from, pixelBytes);
}

// The document's samples of `planes` planes from `lo` for `rect` at `rate`, interleaved;
// positions outside the image take the padding value or repeat the edge. A rectangle inside the
// image at full rate is copied a row (or a pixel) at a time.
void gatherPixels(std::vector<uint8_t>& bytes, const Document& doc, const Rect16& rect, Fixed rate,
                  int16_t padding, int32_t lo, int32_t planes) {
    int32_t size = sampleBytes(doc);
    if (rate == kFixedOne && rect.left >= 0 && rect.top >= 0 && rect.right <= doc.width && rect.bottom <= doc.height) {
        const int32_t width = rect.right - rect.left;
        const size_t rowBytes = static_cast<size_t>(planes) * size * width;
        sizeDelivery(bytes, rowBytes * (rect.bottom - rect.top));
        for (int32_t y = rect.top; y < rect.bottom; y++)
            copyPixels(bytes.data() + (y - rect.top) * rowBytes, planes, sampleAddress(doc, rect.left, y, lo),
                       planeCount(doc), planes, width, size);
        return;
    }
    gather(bytes, rect, rate, padding, doc.width, doc.height, planes, size,
           [&](int32_t x, int32_t y, int32_t p, bool pad, int16_t value, uint8_t* out) {
               if (pad) writePadding(out, size, value);
               else memcpy(out, sampleAddress(doc, x, y, lo + p), static_cast<size_t>(size));
           });
}

// The selection mask: 255 inside the selection, 0 outside.
void gatherMask(std::vector<uint8_t>& bytes, const Document& doc, const Rect16& rect, Fixed rate,
                int16_t padding) {
    const Rect16 selection = filterRectOf(doc);
    gather(bytes, rect, rate, padding, doc.width, doc.height, 1, 1,
           [&](int32_t x, int32_t y, int32_t, bool pad, int16_t value, uint8_t* out) {
               bool selected = x >= selection.left && x < selection.right && y >= selection.top &&
                               y < selection.bottom;
               *out = pad ? static_cast<uint8_t>(value) : (selected ? 255 : 0);
           });
}

// Every sample of the buffer the poison.
void fillPoison(std::vector<uint8_t>& bytes, size_t samples, int32_t sampleSize) {
    sizeDelivery(bytes, samples * sampleSize);
    writePoison(bytes.data(), sampleSize);
    for (size_t done = sampleSize; done < bytes.size(); done *= 2)
        memcpy(bytes.data() + done, bytes.data(), std::min(done, bytes.size() - done));
}

// Lays a packed buffer of `rows` rows out as the profile hands buffers out: every row followed
// by the profile's spare bytes, the rows stored bottom-up when it says so. Returns the address
// of the top row; the row stride the module is handed is the delivery's rowBytes.
void* layOutRows(Delivery& delivery, int32_t rows, const HostProfile& profile) {
    const int32_t packed = static_cast<int32_t>(delivery.bytes.size()) / rows;
    const int32_t stride = packed + profile.rowPadding;
    const bool bottomUp = profile.rowOrder == RowOrder::BottomUp;
    if (stride != packed || bottomUp) {
        std::vector<uint8_t> laid(static_cast<size_t>(stride) * rows, kFreshMemoryFill);
        for (int32_t y = 0; y < rows; y++)
            memcpy(laid.data() + static_cast<size_t>(bottomUp ? rows - 1 - y : y) * stride,
                   delivery.bytes.data() + static_cast<size_t>(y) * packed, static_cast<size_t>(packed));
        delivery.bytes.swap(laid);
    }
    delivery.topRow = bottomUp ? static_cast<size_t>(rows - 1) * stride : 0;
    delivery.rowBytes = bottomUp ? -stride : stride;
    return delivery.bytes.data() + delivery.topRow;
}

}  // namespace

int16_t deliver(PixelBuffer which, FilterRecord& r, const Document& doc, const HostProfile& profile,
                Delivery& delivery, bool inPlace) {
    const BufferFields& field = kFields[static_cast<size_t>(which)];
    const bool mask = which == PixelBuffer::Mask;
    delivery.restart();
    r.*field.data = nullptr;
    r.*field.rowBytes = 0;
    Rect16& rect = r.*field.rect;
    if (isEmpty(rect) || (mask && (!r.haveMask || profile.maskWithoutData))) return kNoErr;

    // The planes asked for must be the document's.
    const int32_t lo = field.loPlane ? r.*field.loPlane : 0;
    const int32_t hi = field.hiPlane ? r.*field.hiPlane : 0;
    if (lo < 0 || hi < lo || hi >= planeCount(doc)) return kParamErr;

    // The request settled against the sampled image.
    const Fixed rate = field.rate && r.*field.rate > 0 ? r.*field.rate : kFixedOne;
    const int16_t padding = field.padding ? r.*field.padding : int16_t{kPaddingNone};
    int16_t result = settleRequest(rect, padding, sampledExtent(doc.width, rate), sampledExtent(doc.height, rate));
    if (result != kNoErr || isEmpty(rect)) return result;

    // Filled: the mask with the selection, output poisoned (or holding the pixels as they are,
    // as some hosts hand it out), input with the document's samples; or the document's rows.
    const int32_t planes = hi - lo + 1;
    const int32_t size = mask ? 1 : sampleBytes(doc);
    const int32_t rows = rect.bottom - rect.top;
    const bool documentRows = inPlace && !mask && rate == kFixedOne && lo == 0 && planes == planeCount(doc) &&
                              profile.rowPadding == 0 && profile.rowOrder == RowOrder::TopDown;
    if (documentRows) {
        const int32_t rowBytes = doc.width * planes * size;
        if (which == PixelBuffer::Output) {
            delivery.rect = rect;
            delivery.loPlane = static_cast<int16_t>(lo);
            delivery.hiPlane = static_cast<int16_t>(hi);
            delivery.pending = true;
            delivery.inDocument = true;
        }
        r.*field.data = const_cast<uint8_t*>(sampleAddress(doc, rect.left, rect.top, 0));
        r.*field.rowBytes = rowBytes;
        r.*field.columnBytes = planes * size;
        r.*field.planeBytes = size;
        return kNoErr;
    }
    if (mask) gatherMask(delivery.bytes, doc, rect, rate, padding);
    else if (which == PixelBuffer::Output && profile.outputFill == OutputFill::Poison)
        fillPoison(delivery.bytes, static_cast<size_t>(rect.right - rect.left) * rows * planes, size);
    else gatherPixels(delivery.bytes, doc, rect, rate, padding, lo, planes);
    if (which == PixelBuffer::Output) {
        delivery.rect = rect;
        delivery.loPlane = static_cast<int16_t>(lo);
        delivery.hiPlane = static_cast<int16_t>(hi);
        delivery.pending = true;
    }

    r.*field.data = layOutRows(delivery, rows, profile);
    r.*field.rowBytes = delivery.rowBytes;
    if (field.columnBytes) {
        r.*field.columnBytes = planes * size;
        r.*field.planeBytes = size;
    }
    return kNoErr;
}

Rect16 storeOutput(Delivery& output, Document& doc) {
    if (!output.pending) return Rect16{};
    output.pending = false;
    const Rect16& rect = output.rect;
    if (output.inDocument) return rect;
    const int32_t planes = output.hiPlane - output.loPlane + 1;
    for (int32_t y = rect.top; y < rect.bottom; y++) {
        const uint8_t* row =
            output.bytes.data() + output.topRow + static_cast<ptrdiff_t>(y - rect.top) * output.rowBytes;
        copyPixels(sampleAddress(doc, rect.left, y, output.loPlane), planeCount(doc), row, planes, planes,
                   rect.right - rect.left, sampleBytes(doc));
    }
    return rect;
}

void clipToFilter(Rect16& rect, const Document& doc) {
    if (isEmpty(rect)) return;
    const Rect16 filter = filterRectOf(doc);
    rect = Rect16{std::max(rect.top, filter.top), std::max(rect.left, filter.left),
                  std::min(rect.bottom, filter.bottom), std::min(rect.right, filter.right)};
    if (isEmpty(rect)) rect = Rect16{0, 0, 0, 0};
}

}  // namespace hostapp
