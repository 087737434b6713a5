// Profiles through Little CMS: a matrix and tone-curve profile (or a gray one) from the white
// point, the primaries and the curve, described by the values it was made from.
#include "colour_profile.h"

#include <lcms2.h>

#include <cstdio>

namespace cli {

namespace {

// sRGB's white point and primaries (x, y times 100000), and its tone curve: a line near black,
// then a 2.4 power (IEC 61966-2-1).
constexpr uint32_t kSrgbChromaticities[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
constexpr double kSrgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
constexpr int kIec61966Curve = 4;  // Little CMS's parametric curve type of that form

void describe(cmsHPROFILE profile, const ColourEncoding& colour) {
    const char* primaries = hasChromaticities(colour) ? "PNG chromaticities" : "sRGB primaries";
    char text[80];
    if (colour.gamma > 0) snprintf(text, sizeof text, "PNG gamma %.5f with %s", colour.gamma / 100000.0, primaries);
    else snprintf(text, sizeof text, "sRGB curve with %s", primaries);
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", text);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
}

}  // namespace

std::vector<uint8_t> profileFromEncoding(const ColourEncoding& colour, int32_t colours) {
    if (colour.gamma == 0 && !hasChromaticities(colour)) return {};
    // PNG gives the exponent that encoded the values, a profile the curve that decodes them.
    cmsToneCurve* curve = colour.gamma > 0 ? cmsBuildGamma(nullptr, 100000.0 / colour.gamma)
                                           : cmsBuildParametricToneCurve(nullptr, kIec61966Curve, kSrgbCurve);
    const uint32_t* c = hasChromaticities(colour) ? colour.chromaticities.data() : kSrgbChromaticities;
    auto xyY = [&](int i) { return cmsCIExyY{c[2 * i] / 100000.0, c[2 * i + 1] / 100000.0, 1.0}; };
    const cmsCIExyY white = xyY(0);
    const cmsCIExyYTRIPLE primaries{xyY(1), xyY(2), xyY(3)};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = !curve           ? nullptr
                          : colours == 1 ? cmsCreateGrayProfile(&white, curve)
                                         : cmsCreateRGBProfile(&white, &primaries, curves);
    if (curve) cmsFreeToneCurve(curve);
    std::vector<uint8_t> bytes;
    cmsUInt32Number size = 0;
    if (profile) describe(profile, colour);
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    if (profile) cmsCloseProfile(profile);
    return bytes;
}

}  // namespace cli
