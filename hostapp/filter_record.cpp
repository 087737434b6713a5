// The FilterRecord filled from a document.
#include "hostapp/filter_record.h"

namespace hostapp {

constexpr uint32_t kHostSignature = 0x564C5248;  // 'VLRH'

void describeDocument(FilterRecord& r, const Document& doc, const HostProfile& profile) {
    const int16_t colour = static_cast<int16_t>(colourPlanes(doc));
    r.imageSize = Point16{static_cast<int16_t>(doc.height), static_cast<int16_t>(doc.width)};
    r.wholeSize = r.imageSize;
    r.planes = static_cast<int16_t>(planeCount(doc));
    r.filterRect = filterRectOf(doc);
    r.background = RGBColor{65535, 65535, 65535};
    r.foreground = RGBColor{0, 0, 0};
    r.backColor[0] = r.backColor[1] = r.backColor[2] = 255;
    r.maxSpace = 1 << 30;
    r.haveMask = doc.hasSelection || profile.maskWithoutData;
    r.hostSig = kHostSignature;
    r.imageMode = hostImageMode(doc);
    r.imageHRes = r.imageVRes = 72 * kFixedOne;
    r.filterCase = profile.setsFilterCase ? filterCaseOf(doc) : 0;
    r.dummyPlaneValue = -1;
    r.supportsPadding = 1;
    r.inputPadding = r.outputPadding = r.maskPadding = kPaddingNone;
    r.samplingSupport = 1;
    r.inputRate = r.maskRate = kFixedOne;
    // A layer with transparency lists its colour planes as layer planes followed by the
    // transparency plane; a flat image's colour planes are not layer planes. A host that does
    // not set these counts leaves them all 0.
    if (profile.setsLayerPlanes) {
        r.inLayerPlanes = r.outLayerPlanes = r.absLayerPlanes = doc.transparency ? colour : 0;
        r.inTransparencyMask = r.outTransparencyMask = r.absTransparencyMask = doc.transparency ? 1 : 0;
        r.inNonLayerPlanes = r.outNonLayerPlanes = r.absNonLayerPlanes = doc.transparency ? 0 : colour;
    }
    r.inTileHeight = r.inTileWidth = r.outTileHeight = r.outTileWidth = 256;
    r.maskTileHeight = r.maskTileWidth = r.absTileHeight = r.absTileWidth = 256;
    r.depth = doc.bitDepth;
}

}  // namespace hostapp
