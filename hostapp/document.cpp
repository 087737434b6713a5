// Document layout, sample access and the poison pattern of unwritten output.
#include "hostapp/document.h"

#include <cstring>

namespace hostapp {

constexpr uint8_t kPoison8 = 0xA5;
constexpr uint16_t kPoison16 = 0xA5A5;     // above the 16-bit scale's 32768
constexpr uint32_t kPoison32 = 0x7FA5A5A5; // a NaN

Document makeDocument(int32_t width, int32_t height, int32_t bitDepth, ColourModel model, bool transparency) {
    Document doc;
    doc.width = width;
    doc.height = height;
    doc.bitDepth = bitDepth;
    doc.model = model;
    doc.transparency = transparency;
    doc.samples.assign(static_cast<size_t>(width) * height * planeCount(doc) * sampleBytes(doc), 0);
    return doc;
}

int32_t colourPlanes(const Document& doc) {
    switch (doc.model) {
        case ColourModel::Gray: return 1;
        case ColourModel::Rgb: return 3;
        case ColourModel::Multichannel: return 2;
    }
    return 0;
}

int32_t planeCount(const Document& doc) { return colourPlanes(doc) + (doc.transparency ? 1 : 0); }

int32_t sampleBytes(const Document& doc) { return doc.bitDepth / 8; }

int16_t hostImageMode(const Document& doc) {
    bool gray = doc.model == ColourModel::Gray;
    if (doc.model == ColourModel::Multichannel) return doc.bitDepth == 8 ? kModeMultichannel : kModeDeepMultichannel;
    if (doc.bitDepth == 16) return gray ? kModeGray16 : kModeRGB48;
    if (doc.bitDepth == 32) return gray ? kModeGray32 : kModeRGB96;
    return gray ? kModeGrayScale : kModeRGBColor;
}

int16_t filterCaseOf(const Document& doc) {
    if (doc.transparency)
        return doc.hasSelection ? kFilterCaseEditableTransparencyWithSelection
                                : kFilterCaseEditableTransparencyNoSelection;
    return doc.hasSelection ? kFilterCaseFlatImageWithSelection : kFilterCaseFlatImageNoSelection;
}

Rect16 filterRectOf(const Document& doc) {
    if (doc.hasSelection) return doc.selection;
    return Rect16{0, 0, static_cast<int16_t>(doc.height), static_cast<int16_t>(doc.width)};
}

const uint8_t* sampleAddress(const Document& doc, int32_t x, int32_t y, int32_t plane) {
    size_t pixel = static_cast<size_t>(y) * doc.width + x;
    return doc.samples.data() + (pixel * planeCount(doc) + plane) * sampleBytes(doc);
}

uint8_t* sampleAddress(Document& doc, int32_t x, int32_t y, int32_t plane) {
    return const_cast<uint8_t*>(sampleAddress(static_cast<const Document&>(doc), x, y, plane));
}

double sampleValue(const Document& doc, int32_t x, int32_t y, int32_t plane) {
    const uint8_t* p = sampleAddress(doc, x, y, plane);
    if (doc.bitDepth == 8) return *p;
    if (doc.bitDepth == 16) {
        uint16_t v;
        memcpy(&v, p, sizeof v);
        return v;
    }
    float f;
    memcpy(&f, p, sizeof f);
    return f;
}

void setSampleValue(Document& doc, int32_t x, int32_t y, int32_t plane, double value) {
    uint8_t* p = sampleAddress(doc, x, y, plane);
    if (doc.bitDepth == 8) {
        *p = static_cast<uint8_t>(value);
    } else if (doc.bitDepth == 16) {
        uint16_t v = static_cast<uint16_t>(value);
        memcpy(p, &v, sizeof v);
    } else {
        float f = static_cast<float>(value);
        memcpy(p, &f, sizeof f);
    }
}

void writePoison(uint8_t* sample, int32_t bytes) {
    if (bytes == 1) *sample = kPoison8;
    if (bytes == 2) memcpy(sample, &kPoison16, 2);
    if (bytes == 4) memcpy(sample, &kPoison32, 4);
}

bool isPoison(const Document& doc, int32_t x, int32_t y, int32_t plane) {
    uint8_t poison[4];
    writePoison(poison, sampleBytes(doc));
    return memcmp(sampleAddress(doc, x, y, plane), poison, static_cast<size_t>(sampleBytes(doc))) == 0;
}

}  // namespace hostapp
