// The velorund executable driven as a user drives it: files written here with libpng and libtiff
// go in, and its exit code, its messages and the files it leaves are checked. Outputs are read
// back with the tool's own loaders, which the independently written inputs hold to account.
#include <pty.h>

#include "cli_fixture.h"

namespace {

using namespace clitest;

// The warped disc holds the constant and the corners are outside it: black when flat,
// transparent on a layer. Integer gray results pass the module's luma weights, which add up to
// 255/256.
void expectConstantDisc(const Image& out, const Image& in, const std::string& what) {
    ASSERT_EQ(out.channels, in.channels) << what;
    ASSERT_EQ(out.bits, in.bits) << what;
    ASSERT_EQ(out.width, in.width) << what;
    const int32_t colours = in.channels - (cli::hasAlpha(in) ? 1 : 0);
    for (int32_t c = 0; c < in.channels; c++) {
        double expected = sample(in, 0, 0, c) * (colours == 1 && c == 0 && in.bits < 32 ? 255.0 / 256 : 1.0);
        EXPECT_NEAR(sample(out, in.width / 2, in.height / 2, c), expected, step(in)) << what << " channel " << c;
    }
    EXPECT_EQ(sample(out, 0, 0, cli::hasAlpha(in) ? colours : 0), 0.0) << what;
}

TEST_F(Cli, RoundTripsKeepDepthAndLayout) {
    const uint16_t compressions[] = {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS,
                                     COMPRESSION_ZSTD};
    int32_t kind = 0;
    for (int32_t bits : {8, 16, 32})
        for (int32_t channels = 1; channels <= 4; channels++, kind++) {
            Image in = constantImage(40, 40, channels, bits, {0.6, 0.3, 0.8, 1.0});
            if (channels == 2) in = constantImage(40, 40, 2, bits, {0.6, 1.0});
            std::string what = std::to_string(bits) + "-bit, " + std::to_string(channels) + " channels";
            if (bits < 32) {
                writePng(path("in.png"), in);
                ASSERT_EQ(warp({}, "in.png", "out.png"), 0);
                expectConstantDisc(load(path("out.png")), in, "PNG " + what);
            }
            // Interleaved or planar, strips or 16 x 16 tiles (part-filled at the edges).
            TiffKind layout{kind % 2 == 1, kind / 2 % 2 == 1 ? 16u : 0u, compressions[kind % 5]};
            writeTiff(path("in.tif"), in, layout);
            ASSERT_EQ(warp({}, "in.tif", "out.tif"), 0);
            Image out = load(path("out.tif"));
            expectConstantDisc(out, in, "TIFF " + what);
            EXPECT_EQ(out.tiff.planar, layout.planar) << what;
            EXPECT_EQ(out.tiff.tileWidth, layout.tile) << what;
            EXPECT_EQ(out.tiff.compression, layout.compression) << what;
        }
}

TEST_F(Cli, ResolutionProfileFirstPageAndJpegAreHandled) {
    Image in = constantImage(32, 32, 3, 8, {0.6, 0.3, 0.8});
    std::vector<uint8_t> profile = iccProfile();
    writePng(path("in.png"), in, [&](png_structp png, png_infop info) {
        png_set_pHYs(png, info, 2835, 2835, PNG_RESOLUTION_METER);
        png_set_iCCP(png, info, "test", PNG_COMPRESSION_TYPE_BASE, profile.data(), static_cast<png_uint_32>(profile.size()));
    });
    ASSERT_EQ(warp({}, "in.png", "out.png"), 0);
    Image out = load(path("out.png"));
    EXPECT_EQ(out.xResolution, 2835);
    EXPECT_EQ(out.resolutionUnit, cli::ResolutionUnit::Metre);
    EXPECT_EQ(out.iccProfile, profile);

    // Three pages, only the first holding the image.
    TiffKind pages;
    pages.pages = 3;
    writeTiff(path("pages.tif"), in, pages, [&](TIFF* tif) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0f);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile.size()), profile.data());
    });
    ASSERT_EQ(warp({}, "pages.tif", "out.tif"), 0);
    out = load(path("out.tif"));
    expectConstantDisc(out, in, "first page");
    EXPECT_EQ(out.xResolution, 300);
    EXPECT_EQ(out.yResolution, 150);
    EXPECT_EQ(out.resolutionUnit, cli::ResolutionUnit::Inch);
    EXPECT_EQ(out.iccProfile, profile);

    // JPEG-compressed YCbCr is read as RGB and written without loss.
    writeTiff(path("jpeg.tif"), in, {false, 16, COMPRESSION_JPEG, PHOTOMETRIC_YCBCR},
              [](TIFF* tif) { TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB); });
    ASSERT_EQ(warp({}, "jpeg.tif", "out.tif"), 0);
    out = load(path("out.tif"));
    EXPECT_EQ(out.tiff.compression, COMPRESSION_ADOBE_DEFLATE);
    for (int32_t c = 0; c < 3; c++) EXPECT_NEAR(sample(out, 16, 16, c), sample(in, 0, 0, c), 4 / 255.0);

    // Old-style JPEG (compression 6) as old scanners wrote it: the JPEG stream is the one strip,
    // and the interchange-format tags point at it. It reads as libjpeg decodes the stream (exactly
    // at full chroma; at 4:2:0 libtiff repeats the chroma that libjpeg interpolates) and is
    // written with deflate.
    for (bool fullChroma : {true, false}) {
        writeJpeg(path("old.jpg"), texture(48, 32, 3), {.quality = 95, .fullChroma = fullChroma});
        const std::string jpeg = readFile(path("old.jpg"));
        const uint32_t bits = 8 + 2 + 12 * 12 + 4, data = bits + 6, size = static_cast<uint32_t>(jpeg.size());
        std::ofstream(path("old.tif"), std::ios::binary)
            << kTiffHeader
            << tiffDirectory({{256, 4, 1, 48}, {257, 4, 1, 32}, {258, 3, 3, bits}, {259, 3, 1, 6}, {262, 3, 1, 6}, {273, 4, 1, data},
                              {277, 3, 1, 3}, {278, 4, 1, 32}, {279, 4, 1, size}, {513, 4, 1, data}, {514, 4, 1, size},
                              {530, 3, 2, fullChroma ? 0x10001u : 0x20002u}}, 0)
            << std::string("\x08\0\x08\0\x08\0", 6) << jpeg;
        EXPECT_GE(psnr(load(path("old.tif")), load(path("old.jpg"))), fullChroma ? 99 : 33) << fullChroma;
        ASSERT_EQ(warp({}, "old.tif", "out.tif"), 0);
        EXPECT_EQ(load(path("out.tif")).tiff.compression, COMPRESSION_ADOBE_DEFLATE);
    }
}

TEST_F(Cli, OnlyTheSelectedRectangleChanges) {
    // A 16-bit gray ramp over the whole range comes through outside the rectangle within one
    // step, exactly as the conversions to the host's scale and back give. The rectangle's numbers
    // mean the same with signs and spaces around them, and it may reach the image's right and
    // bottom edges. (8-bit samples come through exactly: the PngSuite test.)
    Image in = constantImage(64, 48, 1, 16, {});
    const size_t count = cli::sampleCount(in);
    for (size_t i = 0; i < count; i++) {
        const uint16_t v = static_cast<uint16_t>(i * 65535 / (count - 1));
        memcpy(&in.samples[2 * i], &v, 2);
    }
    writePng(path("ramp.png"), in);
    ASSERT_EQ(warp({"--rect", " +16, 8 ,+48,40 "}, "ramp.png", "out.png"), 0);
    Image out = load(path("out.png"));
    int32_t changed = 0;
    for (int32_t y = 0; y < in.height; y++)
        for (int32_t x = 0; x < in.width; x++) {
            const double before = sample(in, x, y, 0), after = sample(out, x, y, 0);
            if (x >= 16 && y >= 8) changed += before != after;
            else ASSERT_NEAR(after, throughHostScale(before), 1e-9) << x << "," << y;
        }
    EXPECT_GT(changed, 48 * 40 / 2);
    EXPECT_EQ(sample(out, 16, 8, 0), 0.0) << "the rectangle's corner is outside the disc: black";
}

TEST_F(Cli, AlphaMakesALayerAndFlatDropsIt) {
    Image in = constantImage(32, 32, 4, 8, {0.8, 0.4, 0.2, 0.5});
    writePng(path("in.png"), in);
    ASSERT_EQ(warp({}, "in.png", "layer.png"), 0);
    expectConstantDisc(load(path("layer.png")), in, "layer");
    // Flat: the alpha applied over black, then warped as a flat image.
    ASSERT_EQ(warp({"--flat"}, "in.png", "flat.png"), 0);
    expectConstantDisc(load(path("flat.png")), constantImage(32, 32, 3, 8, {0.4, 0.2, 0.1}), "flat");

    // Premultiplied alpha in a TIFF is taken out for the filter and put back in the file.
    TiffKind associated;
    associated.extraSample = EXTRASAMPLE_ASSOCALPHA;
    writeTiff(path("assoc.tif"), constantImage(32, 32, 4, 16, {0.4, 0.2, 0.1, 0.5}), associated);
    ASSERT_EQ(warp({"--rect", "0,0,8,8"}, "assoc.tif", "out.tif"), 0);
    Image out = load(path("out.tif"));
    EXPECT_TRUE(out.tiff.associatedAlpha);
    EXPECT_NEAR(sample(out, 20, 20, 0), 0.8, 2 * step(out)) << "as loaded: straight colour";
    TIFF* tif = TIFFOpen(path("out.tif").c_str(), "r");
    std::vector<uint16_t> row(32 * 4);
    TIFFReadScanline(tif, row.data(), 20, 0);
    TIFFClose(tif);
    EXPECT_NEAR(row[20 * 4], 0.4 * 65535, 2) << "in the file: premultiplied";
}

TEST_F(Cli, CtrlCOnATerminalCancelsThroughTheModule) {
    // Big enough that the run is still going when the progress bar first shows.
    writePng(path("big.png"), constantImage(3000, 3000, 3, 8, {0.2, 0.4, 0.6}));
    int terminal = -1;
    pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execl(VELORUND_EXECUTABLE, VELORUND_EXECUTABLE, path("big.png").c_str(), path("out.png").c_str(), nullptr);
        _exit(127);
    }
    ASSERT_GT(pid, 0);

    // Watch the terminal for the bar, then type Ctrl-C; the terminal makes it SIGINT.
    std::string screen;
    bool typed = false;
    char buffer[256];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) {
        screen.append(buffer, static_cast<size_t>(got));
        if (!typed && screen.find("warping [") != std::string::npos) typed = write(terminal, "\x03", 1) == 1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(terminal);
    EXPECT_TRUE(typed) << screen;
    ASSERT_TRUE(WIFEXITED(status)) << screen;
    EXPECT_EQ(WEXITSTATUS(status), 130) << screen;
    EXPECT_NE(screen.find("cancelled"), std::string::npos) << screen;
    EXPECT_EQ(leftovers({"big.png"}), std::vector<std::string>{});
}

}  // namespace
