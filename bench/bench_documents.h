// Documents for the timed runs through the in-process host: a smooth gradient with a fine
// pattern in every channel, so the pyramid levels differ.
#pragma once

#include "hostapp/document.h"

inline hostapp::Document benchDocument(int32_t width, int32_t height, int32_t depth, bool alpha) {
    using namespace hostapp;
    Document doc = makeDocument(width, height, depth, ColourModel::Rgb, alpha);
    double full = depth == 8 ? 255 : depth == 16 ? 32768 : 1.0;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            for (int32_t p = 0; p < 3; p++) {
                setSampleValue(doc, x, y, p, full * ((x * (p + 1) + y * 3) & 255) / 255);
            }
            if (alpha) setSampleValue(doc, x, y, 3, full * (192 + ((x ^ y) & 63)) / 255);
        }
    }
    return doc;
}
