// Everyday photographs through velorund: JPEG and WebP in and out, measured against the tool's
// own warp of the decoded input; the EXIF orientation turned upright before the warp; ICC, EXIF
// and XMP carried into every format that holds them; and the rim composed over a background.
#include "cli_fixture.h"
#include "metadata.h"

namespace {

using namespace clitest;

class Photo : public Cli {
protected:
    // The tool's warp of what the file decodes to, as a lossless PNG.
    Image referenceWarp(const std::string& input, const std::vector<std::string>& options = {}) {
        writePng(path("decoded.png"), load(path(input)));
        EXPECT_EQ(warp(options, "decoded.png", "reference.png"), 0);
        return load(path("reference.png"));
    }
};

TEST_F(Photo, JpegAndWebpStayWithinTheCodecsLoss) {
    const Image gray = texture(96, 64, 1), rgb = texture(96, 64, 3), rgba = texture(96, 64, 4);
    writeJpeg(path("gray.jpg"), gray);
    writeJpeg(path("rgb.jpg"), rgb);
    writeJpeg(path("full.jpg"), rgb, {.fullChroma = true});
    writeWebp(path("lossy.webp"), rgb, false);
    writeWebp(path("alpha.webp"), rgba, false);
    writeWebp(path("lossless.webp"), rgba, true);
    struct Case {
        std::string input;
        std::vector<std::string> options;
        bool fullChroma;  // of a JPEG output
        double minimumPsnr;  // 99: exact
    };
    const Case cases[] = {
        {"gray.jpg", {}, false, 38},         {"rgb.jpg", {}, false, 33},      {"full.jpg", {}, true, 35},
        {"rgb.jpg", {"--quality", "95"}, true, 36}, {"lossy.webp", {}, false, 33}, {"alpha.webp", {}, false, 33},
        {"lossless.webp", {}, false, 99},
    };
    for (const Case& c : cases) {
        const std::string output = "out" + c.input.substr(c.input.find('.'));
        ASSERT_EQ(warp(c.options, c.input, output), 0) << c.input;
        Image out = load(path(output)), reference = referenceWarp(c.input);
        ASSERT_EQ(out.channels, reference.channels) << c.input;
        EXPECT_GE(psnr(out, reference), c.minimumPsnr) << c.input;
        EXPECT_EQ(out.coding.lossless, c.minimumPsnr == 99) << c.input;
        EXPECT_TRUE(output != "out.jpg" || out.coding.fullChroma == c.fullChroma) << c.input;
    }
}

// JPEG and WebP hold 8 bits: 16-bit samples are rounded to the nearest 8-bit value, v / 257.
// Blocks of 8 x 8 pixels of one gray value, either side of where the rounding turns, come through
// a quality 100 JPEG and a lossless WebP (as three equal colours) unchanged.
TEST_F(Photo, SixteenBitSamplesAreRoundedToEightBits) {
    const uint16_t values[] = {0, 129, 25828, 25829, 51528, 65535};
    Image in = constantImage(8 * static_cast<int32_t>(std::size(values)), 8, 1, 16, {});
    for (size_t i = 0; i < cli::sampleCount(in); i++) memcpy(&in.samples[2 * i], &values[i % in.width / 8], 2);
    in.coding.lossless = true;
    cli::SaveSettings settings;
    settings.quality = 100;
    for (const std::string name : {"out.jpg", "out.webp"}) {
        std::string error;
        ASSERT_TRUE(cli::saveImage(in, path(name), cli::formatOf(name), settings, error)) << name << ": " << error;
        const Image out = load(path(name));
        for (int32_t x = 0; x < out.width; x++)
            for (int32_t c = 0; c < out.channels; c++)
                EXPECT_EQ(std::lround(sample(out, x, 4, c) * 255), std::lround(values[x / 8] / 257.0)) << name << " at " << x;
    }
}

// A picture of four coloured quarters, shown 48 x 32: red, green / blue, white.
uint8_t quarterColour(int32_t x, int32_t y, int32_t c) {
    static const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    return colours[(y < 16 ? 0 : 2) + (x < 24 ? 0 : 1)][c];
}

// A little-endian EXIF block: the entries and the maker in the first directory, then a
// thumbnail directory with 100 bytes of thumbnail behind it.
std::string exifBlock(std::vector<std::array<uint32_t, 4>> entries) {
    const uint32_t maker = 8 + 2 + 12 * static_cast<uint32_t>(entries.size() + 1) + 4, thumbnail = maker + 8;
    entries.push_back({0x010F, 2, 7, maker});
    return kTiffHeader + tiffDirectory(entries, thumbnail) + std::string("Tester\0\0", 8) +
           tiffDirectory({{0x0201, 4, 1, thumbnail + 30}, {0x0202, 4, 1, 100}}, 0) + std::string(100, '\xff');
}
const std::string kExifPrefix("Exif\0\0", 6);
const std::string kXmpPrefix("http://ns.adobe.com/xap/1.0/\0", 29);
// XMP that says to turn the picture a quarter clockwise (6), as an attribute.
const std::string kTurningXmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:Description tiff:Orientation=\"6\"/></x:xmpmeta>";

TEST_F(Photo, ExifOrientationIsAppliedBeforeTheWarp) {
    // Stored pixel (sx, sy) is shown where the orientation puts the stored rows and columns
    // (1 top/left, 2 top/right, 3 bottom/right, 4 bottom/left, 5 left/top, 6 right/top,
    // 7 right/bottom, 8 left/bottom).
    for (uint16_t o = 1; o <= 8; o++) {
        const bool turned = o >= 5;
        Image stored = constantImage(turned ? 32 : 48, turned ? 48 : 32, 3, 8, {});
        for (int32_t sy = 0; sy < stored.height; sy++)
            for (int32_t sx = 0; sx < stored.width; sx++) {
                const int32_t col = turned ? sy : sx, row = turned ? sx : sy;
                const int32_t x = (o == 2 || o == 3 || o == 6 || o == 7) ? 47 - col : col;
                const int32_t y = (o == 3 || o == 4 || o == 7 || o == 8) ? 31 - row : row;
                for (int32_t c = 0; c < 3; c++) stored.samples[(sy * stored.width + sx) * 3 + c] = quarterColour(x, y, c);
            }
        writeJpeg(path("in.jpg"), stored, {.quality = 95, .fullChroma = true, .app1 = {kExifPrefix + exifBlock({{0x0112, 3, 1, o}})}});
        ASSERT_EQ(warp({}, "in.jpg", "out.png"), 0) << o;

        // The disc is the ellipse of the shown picture, each quarter in its place.
        Image out = load(path("out.png"));
        ASSERT_EQ(out.width, 48) << o;
        ASSERT_EQ(out.height, 32) << o;
        for (auto [x, y] : {std::pair{14, 10}, {33, 10}, {14, 21}, {33, 21}})
            for (int32_t c = 0; c < 3; c++)
                EXPECT_NEAR(sample(out, x, y, c) * 255, quarterColour(x, y, c), 40) << o << " at " << x << "," << y;
        EXPECT_EQ(sample(out, 1, 1, 0), 0.0) << o;
    }
}

TEST_F(Photo, OrientationIsReadAsCommonReadersDoAndDroppedWithTheThumbnail) {
    // A 32 x 48 picture stored turned, with a quarter turn clockwise (6) said as other writers
    // say it: in EXIF as a LONG, as two SHORTs, beside a directory that does not fit the block,
    // or after the JPEG prefix in PNG; in XMP alone, as an attribute or an element. A TIFF's
    // orientation tag or an EXIF orientation, where there is one, comes before the XMP's.
    const Image stored = texture(32, 48, 3);
    const std::string element = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:Description><tiff:Orientation>6</tiff:Orientation>"
                                "</rdf:Description></x:xmpmeta>";
    const std::string gps = exifBlock({{0x0112, 3, 1, 6}, {0x8825, 4, 1, 100000}});
    auto pngWithExif = [&](const std::string& name, const std::string& chunk) {
        writePng(path(name), stored, [&](png_structp png, png_infop info) {
            png_set_eXIf_1(png, info, static_cast<png_uint_32>(chunk.size()), reinterpret_cast<png_bytep>(const_cast<char*>(chunk.data())));
        });
    };
    auto tiffWithXmp = [&](const std::string& name, uint16_t orientationTag) {
        writeTiff(path(name), stored, {}, [&](TIFF* tif) {
            TIFFSetField(tif, TIFFTAG_XMLPACKET, static_cast<uint32_t>(element.size()), element.data());
            if (orientationTag) TIFFSetField(tif, TIFFTAG_ORIENTATION, orientationTag);
        });
    };
    writeJpeg(path("long.jpg"), stored, {.app1 = {kExifPrefix + exifBlock({{0x0112, 4, 1, 6}})}});
    pngWithExif("shorts.png", exifBlock({{0x0112, 3, 2, 6 | 6 << 16}}));
    writeJpeg(path("gps.jpg"), stored, {.app1 = {kExifPrefix + gps}});
    pngWithExif("gps.png", gps);
    pngWithExif("prefixed.png", kExifPrefix + exifBlock({{0x0112, 3, 1, 6}}));
    writePng(path("xmp.png"), stored, [&](png_structp png, png_infop info) { setXmp(png, info, kTurningXmp); });
    tiffWithXmp("xmp.tif", 0);
    tiffWithXmp("tagged.tif", ORIENTATION_TOPLEFT);
    writeJpeg(path("upright.jpg"), stored, {.app1 = {kExifPrefix + exifBlock({{0x0112, 3, 1, 1}}),
                                                     kXmpPrefix + kTurningXmp}});
    const struct {
        const char* input;
        int32_t shownWidth;
        bool exif, xmp;
    } cases[] = {{"long.jpg", 48, true, false},    {"shorts.png", 48, true, false}, {"gps.jpg", 48, true, false},
                 {"gps.png", 48, true, false},     {"prefixed.png", 48, true, false}, {"xmp.png", 48, false, true},
                 {"xmp.tif", 48, false, true},     {"tagged.tif", 32, false, true}, {"upright.jpg", 32, true, true}};
    for (const auto& c : cases) {
        ASSERT_EQ(warp({}, c.input, "out.png"), 0) << c.input;
        Image out;
        std::string error;
        ASSERT_TRUE(cli::loadPng(path("out.png"), out, error)) << error;
        EXPECT_EQ(out.width, c.shownWidth) << c.input;
        EXPECT_TRUE(!c.xmp || cli::xmpOrientation(out.xmp) == 1) << c.input << ": " << out.xmp;
        if (!c.exif) continue;
        // The orientation entry is a single SHORT saying 1, and the thumbnail is gone.
        const std::string block(out.exif.begin(), out.exif.end());
        EXPECT_NE(block.find(std::string("\x12\x01\x03\0\x01\0\0\0\x01\0", 10)), std::string::npos) << c.input;
        EXPECT_EQ(block.find("\xff\xff\xff\xff"), std::string::npos) << c.input;
    }
}

TEST_F(Photo, PngColourChunksBecomeAProfileWhereTheOutputHasNoSuchChunks) {
    // Gamma 0.35 alone (sRGB's primaries), on RGB and on 16-bit gray; gamma 1 with sRGB's
    // chromaticities; 16-bit RGB with significant bits (and gamma 1); values declared sRGB,
    // which a file without a profile is taken for.
    writePng(path("srgb.png"), texture(16, 16, 3), [](png_structp png, png_infop info) { png_set_sRGB(png, info, 0); });
    struct Case {
        std::string input;
        double decodedHalf;  // the profile's curve at 0.5; 0: no profile
        bool significantBits;
    };
    const Case cases[] = {
        {PNGSUITE_DIR "/g03n2c08.png", std::pow(0.5, 1 / 0.35), false}, {PNGSUITE_DIR "/g03n0g16.png", std::pow(0.5, 1 / 0.35), false},
        {PNGSUITE_DIR "/ccwn2c08.png", 0.5, false},                     {PNGSUITE_DIR "/cs3n2c16.png", 0.5, true},
        {path("srgb.png"), 0, false},
    };
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const cmsCIEXYZ srgbRed = *static_cast<cmsCIEXYZ*>(cmsReadTag(srgb, cmsSigRedColorantTag));
    cmsCloseProfile(srgb);
    for (const Case& c : cases)
        for (const char* output : {"out.jpg", "out.webp", "out.tif"}) {
            const std::string what = c.input.substr(c.input.rfind('/') + 1) + " into " + output;
            Ran ran = run({"--quiet", "--force", c.input, path(output)});
            ASSERT_EQ(ran.exitCode, 0) << what << ": " << ran.errors;
            EXPECT_EQ(ran.errors.find("the PNG sBIT chunk") != std::string::npos, c.significantBits) << what << ": " << ran.errors;
            const std::vector<uint8_t> profile = load(path(output)).iccProfile;
            ASSERT_EQ(profile.empty(), c.decodedHalf == 0) << what;
            if (profile.empty()) continue;
            cmsHPROFILE made = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
            ASSERT_NE(made, nullptr) << what;
            const bool gray = cmsGetColorSpace(made) == cmsSigGrayData;
            EXPECT_NEAR(cmsEvalToneCurveFloat(static_cast<cmsToneCurve*>(cmsReadTag(made, gray ? cmsSigGrayTRCTag : cmsSigRedTRCTag)), 0.5f),
                        c.decodedHalf, 1e-3) << what;
            if (!gray) {
                // The primaries are sRGB's, given or assumed.
                const cmsCIEXYZ red = *static_cast<cmsCIEXYZ*>(cmsReadTag(made, cmsSigRedColorantTag));
                EXPECT_NEAR(red.X, srgbRed.X, 2e-3) << what;
                EXPECT_NEAR(red.Y, srgbRed.Y, 2e-3) << what;
            }
            cmsCloseProfile(made);
        }
}

TEST_F(Photo, ProfileExifAndXmpAreCarriedUpright) {
    const std::string exif = exifBlock({{0x0112, 3, 1, 6}});
    JpegKind kind{.icc = iccProfile(), .app1 = {kExifPrefix + exif, kXmpPrefix + kTurningXmp}};
    writeJpeg(path("in.jpg"), texture(32, 24, 3), kind);
    using Loader = bool (*)(const std::string&, Image&, std::string&, const cli::LoadSettings&);
    const std::pair<std::string, Loader> outputs[] = {
        {"out.jpg", cli::loadJpeg}, {"out.png", cli::loadPng}, {"out.tif", cli::loadTiff}, {"out.webp", cli::loadWebp}};
    for (const auto& [name, loadRaw] : outputs) {
        ASSERT_EQ(warp({}, "in.jpg", name), 0) << name;
        Image out;
        std::string error;
        ASSERT_TRUE(loadRaw(path(name), out, error, {})) << name << ": " << error;
        EXPECT_EQ(out.width, 24) << name;
        EXPECT_EQ(out.iccProfile, kind.icc) << name;
        EXPECT_NE(out.xmp.find("tiff:Orientation=\"1\""), std::string::npos) << name << ": " << out.xmp;
        if (name == "out.tif") continue;  // TIFF keeps its own tags, not an EXIF block
        EXPECT_EQ(cli::exifOrientation(out.exif), 1) << name;
        EXPECT_LT(out.exif.size(), 60u) << name << ": the thumbnail is dropped";
        EXPECT_NE(std::string(out.exif.begin(), out.exif.end()).find("Tester"), std::string::npos) << name;
    }
}

TEST_F(Photo, BackgroundComposesTheLayerRunOverTheColour) {
    // 8-bit RGB over white and 16-bit gray over gray (#808080, 32896 in 16 bits), each also
    // warped flat and, with an opaque alpha channel added, as a layer.
    for (int32_t bits : {8, 16}) {
        const int32_t channels = bits == 8 ? 3 : 1;
        writePng(path("in.png"), constantImage(64, 64, channels, bits, {0.8, 0.4, 0.2}));
        writePng(path("alpha.png"), constantImage(64, 64, channels + 1, bits, {0.8, channels == 1 ? 1.0 : 0.4, 0.2, 1.0}));
        const double background = bits == 8 ? 1.0 : 32896 / 65535.0;
        ASSERT_EQ(warp({}, "in.png", "flat.png"), 0);
        ASSERT_EQ(warp({}, "alpha.png", "layer.png"), 0);
        ASSERT_EQ(warp({"--background", bits == 8 ? "white" : "#808080"}, "in.png", "over.png"), 0);
        const Image flat = load(path("flat.png")), layer = load(path("layer.png")), over = load(path("over.png"));
        ASSERT_EQ(over.channels, channels);

        // The layer over the colour, rounded once (8-bit samples: to within half a step); the
        // interior as the flat run gives it.
        const double rounding = bits == 8 ? 0.5 / 255 : step(over);
        int32_t rim = 0;
        for (int32_t y = 0; y < 64; y++)
            for (int32_t x = 0; x < 64; x++) {
                const double alpha = sample(layer, x, y, channels);
                rim += alpha > 0 && alpha < 1;
                for (int32_t c = 0; c < channels; c++) {
                    const double v = sample(over, x, y, c);
                    EXPECT_NEAR(v, sample(layer, x, y, c) * alpha + background * (1 - alpha), rounding) << x << "," << y;
                    if (std::hypot(x - 31.5, y - 31.5) < 28) {
                        EXPECT_NEAR(v, sample(flat, x, y, c), step(over)) << x << "," << y;
                    }
                }
            }
        EXPECT_GT(rim, 64) << bits << ": the rim is anti-aliased";
        EXPECT_EQ(sample(over, 0, 0, 0), background) << bits;
    }
}

// An XMP packet with one description holding the property name="value".
std::string xmpPacket(const std::string& name, const std::string& value) {
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
           "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
           "xmlns:dc='http://purl.org/dc/elements/1.1/' dc:" + name + "='" + value + "'/></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

TEST_F(Photo, ExtendedXmpIsWrittenAndJoined) {
    // 150 KB of XMP from a PNG into a JPEG: a main packet and three extension segments, which
    // read back as the whole.
    const std::string large = xmpPacket("description", std::string(150000, 'x') + "end");
    writePng(path("large.png"), texture(16, 16, 3), [&](png_structp png, png_infop info) { setXmp(png, info, large); });
    Ran ran = run({"--quiet", path("large.png"), path("out.jpg")});
    ASSERT_EQ(ran.exitCode, 0) << ran.errors;
    EXPECT_EQ(ran.errors, "");
    const std::string jpeg = readFile(path("out.jpg"));
    size_t parts = 0;
    for (size_t at = jpeg.find("http://ns.adobe.com/xmp/extension/"); at != std::string::npos; at = jpeg.find("http://ns.adobe.com/xmp/extension/", at + 1)) parts++;
    EXPECT_EQ(parts, 3u);
    std::string xmp = load(path("out.jpg")).xmp;
    EXPECT_NE(xmp.find(std::string(150000, 'x') + "end"), std::string::npos);
    EXPECT_EQ(xmp.find("HasExtendedXMP"), std::string::npos);

    // A JPEG whose main packet names an extension in two parts, stored in reverse order, and one
    // whose second part is missing.
    const std::string guid = "0123456789ABCDEF0123456789ABCDEF", rest = xmpPacket("rights", "kept");
    const std::string main = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                             "<rdf:Description rdf:about='' xmlns:xmpNote='http://ns.adobe.com/xmp/note/' xmpNote:HasExtendedXMP='" +
                             guid + "'/><rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' dc:title='main'/></rdf:RDF></x:xmpmeta>";
    auto part = [&](size_t from, size_t to) {
        auto bigEndian = [](size_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
        return std::string("http://ns.adobe.com/xmp/extension/\0", 35) + guid + bigEndian(rest.size()) + bigEndian(from) + rest.substr(from, to - from);
    };
    writeJpeg(path("parts.jpg"), texture(16, 16, 3), {.app1 = {kXmpPrefix + main, part(100, rest.size()), part(0, 100)}});
    writeJpeg(path("missing.jpg"), texture(16, 16, 3), {.app1 = {kXmpPrefix + main, part(0, 100)}});
    for (const char* name : {"parts.jpg", "missing.jpg"}) {
        ran = run({"--quiet", path(name), path("out.png")});
        ASSERT_EQ(ran.exitCode, 0) << ran.errors;
        const bool joined = std::string(name) == "parts.jpg";
        EXPECT_EQ(ran.errors.find("the extended XMP, which does not join the main packet") != std::string::npos, !joined) << ran.errors;
        xmp = load(path("out.png")).xmp;
        EXPECT_NE(xmp.find("dc:title='main'"), std::string::npos) << name;
        EXPECT_EQ(xmp.find("dc:rights='kept'") != std::string::npos, joined) << xmp;
        EXPECT_EQ(xmp.find("HasExtendedXMP"), std::string::npos) << xmp;
        fs::remove(path("out.png"));
    }
}

TEST_F(Photo, WhatAnOutputCannotCarryIsNamedInOneWarning) {
    writePng(path("big-exif.png"), texture(16, 16, 3), [](png_structp png, png_infop info) {
        static const std::string exif = kTiffHeader + tiffDirectory({{0x010E, 2, 70000, 26}}, 0) + std::string(70000, 'a');
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(exif.size()), reinterpret_cast<png_bytep>(const_cast<char*>(exif.data())));
    });
    writeJpeg(path("gray-rgb-profile.jpg"), texture(16, 16, 1), {.icc = iccProfile()});
    writeJpeg(path("comment.jpg"), texture(16, 16, 3), {.comment = "taken at noon"});
    writeJpeg(path("exif.jpg"), texture(16, 16, 3), {.app1 = {kExifPrefix + exifBlock({})}});
    struct Case {
        std::string input, output;
        std::string warning;  // empty: none
    };
    const Case cases[] = {
        {"big-exif.png", "out.jpg", "the EXIF block of 70026 bytes, more than the 65527 a JPEG file holds"},
        {"gray-rgb-profile.jpg", "out.png", "the ICC profile"},
        {"comment.jpg", "out.png", "the JPEG comment"},
        {"exif.jpg", "out.tif", "the EXIF block"},
        {"exif.jpg", "out.webp", ""},
    };
    for (const Case& c : cases) {
        Ran ran = run({"--quiet", "--force", path(c.input), path(c.output)});
        EXPECT_EQ(ran.exitCode, 0) << c.input;
        EXPECT_TRUE(fs::exists(path(c.output))) << c.input;
        if (c.warning.empty()) {
            EXPECT_EQ(ran.errors, "") << c.input;
            continue;
        }
        EXPECT_EQ(ran.errors.rfind("velorund: " + path(c.output) + ": warning: not carried over: ", 0), 0u) << ran.errors;
        EXPECT_NE(ran.errors.find(c.warning), std::string::npos) << ran.errors;
        EXPECT_EQ(std::count(ran.errors.begin(), ran.errors.end(), '\n'), 1) << ran.errors;
    }
}

}  // namespace
