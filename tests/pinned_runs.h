// Whole filter runs whose results are pinned bit for bit. The native tests check the table
// against the module built into them; the Windows test runner checks it, under wine, against the
// built plug-in module, so both builds are held to the same bits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "hostapp/document.h"

namespace pinned {

struct PinnedRun {
    int32_t bitDepth;
    hostapp::ColourModel model;
    bool layer;      // a layer with editable transparency, else a flat image
    bool selection;  // a rectangular selection inside the document
    uint64_t digest;
};

// Every kind of document the filter takes.
inline constexpr PinnedRun kPinnedRuns[] = {
    {8, hostapp::ColourModel::Gray, false, false, 0xf9d6f5786aab1111},
    {8, hostapp::ColourModel::Gray, true, true, 0x939a65b17c547cd0},
    {8, hostapp::ColourModel::Rgb, false, true, 0x0473f5e8b46a6410},
    {8, hostapp::ColourModel::Rgb, true, false, 0x792deb60aa43aaf3},
    {16, hostapp::ColourModel::Gray, false, true, 0x007fcdd5b5c9882c},
    {16, hostapp::ColourModel::Gray, true, false, 0x93b042f69d5f2fe6},
    {16, hostapp::ColourModel::Rgb, false, false, 0x1546d3fbf7b40ddd},
    {16, hostapp::ColourModel::Rgb, true, true, 0x0b8f69d42d90e899},
    {32, hostapp::ColourModel::Gray, false, false, 0x840936bfc1d67d96},
    {32, hostapp::ColourModel::Gray, true, true, 0x9e62e95769e71120},
    {32, hostapp::ColourModel::Rgb, false, true, 0xc0f55b90f13e8a94},
    {32, hostapp::ColourModel::Rgb, true, false, 0x20544ac6981c774b},
};

// Every sample of a document set to value(x, y, plane).
template <typename Value>
void fillSamples(hostapp::Document& doc, Value value) {
    for (int32_t y = 0; y < doc.height; y++)
        for (int32_t x = 0; x < doc.width; x++)
            for (int32_t p = 0; p < planeCount(doc); p++) setSampleValue(doc, x, y, p, value(x, y, p));
}

// A pattern of 17 levels, different in every plane.
inline void fillPattern(hostapp::Document& doc) {
    const double full = doc.bitDepth == 8 ? 255 : doc.bitDepth == 16 ? 32768 : 1.0;
    fillSamples(doc, [&](int32_t x, int32_t y, int32_t p) { return full * (((x * 7 + y * 3 + p * 11) % 17) / 16.0); });
}

// The document a pinned run starts from: the pattern at 67 x 53, with the selection (when there
// is one) off-centre and not square.
inline hostapp::Document pinnedSource(const PinnedRun& run) {
    hostapp::Document doc = hostapp::makeDocument(67, 53, run.bitDepth, run.model, run.layer);
    doc.hasSelection = run.selection;
    doc.selection = Rect16{4, 6, 49, 61};
    fillPattern(doc);
    return doc;
}

// FNV-1a over a document's samples.
inline uint64_t digestOf(const hostapp::Document& doc) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : doc.samples) h = (h ^ b) * 1099511628211ull;
    return h;
}

// A document's digest as the table above writes it.
inline std::string hexDigest(const hostapp::Document& doc) {
    char text[19];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(digestOf(doc)));
    return text;
}

}  // namespace pinned
