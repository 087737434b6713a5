// The document's format from the host's image mode, depth, planes and filter case.
#include "run/document_format.h"

namespace {

bool isRgbMode(int16_t mode) { return mode == kModeRGBColor || mode == kModeRGB48 || mode == kModeRGB96; }

// A layer with editable transparency (filter cases 4 and 5). A host that leaves the filter case
// 0 does not say: its layer has transparency when it has more planes than the mode's colours.
bool hasTransparency(const FilterRecord* record, int32_t colourPlanes) {
    if (record->filterCase == 0) return record->planes > colourPlanes;
    return record->filterCase == kFilterCaseEditableTransparencyNoSelection ||
           record->filterCase == kFilterCaseEditableTransparencyWithSelection;
}

// The transparency plane: the layer plane count the host gives, or, from a host that leaves it
// 0, the plane right after the colour planes.
int32_t transparencyPlane(int16_t layerPlanes, int32_t colourPlanes) {
    return layerPlanes > 0 ? layerPlanes : colourPlanes;
}

// The source layout: 32-bit float wins whatever the mode says, 16-bit needs a 16-bit mode, and
// everything else is read as 8-bit.
ImageMode sourceImageModeOf(int16_t mode, int32_t depth) {
    if (mode == kModeRGB96 || mode == kModeGray32 || depth == 32) return ImageMode::RgbaFloat;
    if ((mode == kModeGray16 || mode == kModeRGB48) && depth == 16) return ImageMode::Rgba16;
    return ImageMode::Rgba8;
}

// The output's sample type, scale and maxima; a mode and depth that match none write nothing.
OutputFormat outputSamplesOf(int16_t mode, int32_t depth) {
    if ((mode == kModeGrayScale || mode == kModeRGBColor) && depth < 9) {
        return {OutputSample::Int8, 255, 255.0f, 255, 0, 0, false, -1};
    }
    if ((mode == kModeGray16 || mode == kModeRGB48) && depth == 16) {
        return {OutputSample::Int16, 32768, 32768.0f, 32768, 0, 0, false, -1};
    }
    if (mode == kModeRGB96 || mode == kModeGray32 || depth == 32) {
        return {OutputSample::Float, 65535, 1.0f, 1, 0, 0, false, -1};
    }
    return {OutputSample::None, 0, 0.0f, 0, 0, 0, false, -1};
}

}  // namespace

DocumentFormat documentFormat(const FilterRecord* record) {
    DocumentFormat f;
    int16_t mode = record->imageMode;
    f.sourceImageMode = sourceImageModeOf(mode, record->depth);
    f.sampleBytes = f.sourceImageMode == ImageMode::Rgba8 ? 1 : f.sourceImageMode == ImageMode::Rgba16 ? 2 : 4;
    f.rgb = isRgbMode(mode);
    int32_t colourPlanes = f.rgb ? 3 : 1;
    bool transparency = hasTransparency(record, colourPlanes);
    f.inputAlphaPlane = transparency ? transparencyPlane(record->inLayerPlanes, colourPlanes) : -1;

    f.output = outputSamplesOf(mode, record->depth);
    f.output.planes = record->planes;
    f.output.colourPlanes = colourPlanes;
    f.output.luma = record->planes < 3;
    f.output.alphaPlane = transparency ? transparencyPlane(record->outLayerPlanes, colourPlanes) : -1;
    return f;
}
