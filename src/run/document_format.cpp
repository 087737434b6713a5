// The document's format from the host's image mode, depth, planes and filter case.
#include "run/document_format.h"

#include "image/image_buffer.h"

namespace {

bool hasTransparency(int16_t filterCase) {
    return filterCase == kFilterCaseEditableTransparencyNoSelection ||
           filterCase == kFilterCaseEditableTransparencyWithSelection;
}

// The source layout: 32-bit float wins whatever the mode says, 16-bit needs a 16-bit mode, and
// everything else is read as 8-bit.
uint32_t sourceImageModeOf(int16_t mode, int32_t depth) {
    if (mode == kModeRGB96 || mode == kModeGray32 || depth == 32) return kImageRgbaFloat;
    if ((mode == kModeGray16 || mode == kModeRGB48) && depth == 16) return kImageRgba16;
    return kImageRgba8;
}

// The output's sample type, scale and maxima; a mode and depth that match none write nothing.
OutputFormat outputSamplesOf(int16_t mode, int32_t depth) {
    if ((mode == kModeGrayScale || mode == kModeRGBColor) && depth < 9) {
        return {kOutputInt8, 255, 255.0f, 255, 0, 0, false, -1, false};
    }
    if ((mode == kModeGray16 || mode == kModeRGB48) && depth == 16) {
        return {kOutputInt16, 32768, 32768.0f, 32768, 0, 0, false, -1, false};
    }
    if (mode == kModeRGB96 || mode == kModeGray32 || depth == 32) {
        return {kOutputFloat, 65535, 1.0f, 1, 0, 0, false, -1, false};
    }
    return {kOutputNone, 0, 0.0f, 0, 0, 0, false, -1, false};
}

}  // namespace

DocumentFormat documentFormat(const FilterRecord* record, bool checkerboard) {
    DocumentFormat f;
    int16_t mode = record->imageMode;
    bool transparency = hasTransparency(record->filterCase);
    f.sourceImageMode = sourceImageModeOf(mode, record->depth);
    f.sampleBytes = f.sourceImageMode == kImageRgba8 ? 1 : f.sourceImageMode == kImageRgba16 ? 2 : 4;
    f.rgb = mode == kModeRGBColor || mode == kModeRGB48 || mode == kModeRGB96;
    f.inputAlphaPlane = transparency ? record->inLayerPlanes : -1;

    f.output = outputSamplesOf(mode, record->depth);
    f.output.planes = record->planes;
    f.output.colourPlanes = f.rgb ? 3 : 1;
    f.output.luma = record->planes < 3;
    f.output.alphaPlane = transparency ? record->outLayerPlanes : -1;
    f.output.checkerboard = checkerboard;
    return f;
}
