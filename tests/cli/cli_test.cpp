// The velorund executable driven as a user drives it: files written here with libpng and libtiff
// go in, and its exit code, its messages and the files it leaves are checked. Outputs are read
// back with the tool's own loaders, which the independently written inputs hold to account.
#include <gtest/gtest.h>
#include <png.h>
#include <pty.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "image_file.h"

namespace fs = std::filesystem;
using cli::Image;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velorund-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // Runs the tool; returns its exit code and what it wrote to standard error.
    std::pair<int, std::string> run(std::vector<std::string> args) const {
        std::string errors = path("stderr.txt");
        pid_t pid = fork();
        if (pid == 0) {
            if (!freopen(errors.c_str(), "w", stderr)) _exit(127);
            std::vector<char*> argv{const_cast<char*>(VELORUND_EXECUTABLE)};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(VELORUND_EXECUTABLE, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        std::string text = readFile(errors);
        fs::remove(errors);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
    }
    int warp(const std::vector<std::string>& options, const std::string& in, const std::string& out) const {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--quiet", "--force", path(in), path(out)});
        return run(args).first;
    }

    // Names in the folder other than the given inputs: outputs and any temporary file left.
    std::vector<std::string> leftovers(const std::vector<std::string>& inputs) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            if (std::find(inputs.begin(), inputs.end(), entry.path().filename()) == inputs.end())
                names.push_back(entry.path().filename());
        return names;
    }

    std::string dir_;
};

// A constant image: every pixel holds the given channel values (fractions of full scale), 0 for
// channels past them.
Image constantImage(int32_t width, int32_t height, int32_t channels, int32_t bits, std::vector<double> pixel) {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.bits = bits;
    image.samples.resize(cli::sampleCount(image) * cli::sampleBytes(image));
    for (size_t i = 0; i < image.samples.size() / std::max(cli::sampleBytes(image), 1); i++) {
        double v = i % channels < pixel.size() ? pixel[i % channels] : 0.0;
        uint16_t v16 = static_cast<uint16_t>(std::lround(v * 65535));
        float v32 = static_cast<float>(v);
        if (bits == 8) image.samples[i] = static_cast<uint8_t>(std::lround(v * 255));
        if (bits == 16) memcpy(&image.samples[2 * i], &v16, 2);
        if (bits == 32) memcpy(&image.samples[4 * i], &v32, 4);
    }
    return image;
}

// A sample as a fraction of full scale.
double sample(const Image& image, int32_t x, int32_t y, int32_t channel) {
    size_t index = (static_cast<size_t>(y) * image.width + x) * image.channels + channel;
    const uint8_t* p = image.samples.data() + index * cli::sampleBytes(image);
    uint16_t v16;
    float v32;
    if (image.bits == 8) return *p / 255.0;
    if (image.bits == 16) return memcpy(&v16, p, 2), v16 / 65535.0;
    return memcpy(&v32, p, 4), v32;
}

// One step of the image's scale, with room for rounding in the comparison.
double step(const Image& image) { return (image.bits == 8 ? 1 / 255.0 : image.bits == 16 ? 1 / 65535.0 : 1e-6) * 1.001; }

// Writes a PNG as any program would, 16-bit samples big-endian; samples hold whole rows.
void writePng(const std::string& path, const Image& image, const std::function<void(png_structp, png_infop)>& extra = {},
              int colourType = -1, int bits = 0) {
    static const int types[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    FILE* file = fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, bits ? bits : image.bits,
                 colourType >= 0 ? colourType : types[image.channels], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (extra) extra(png, info);
    png_write_info(png, info);
    if (image.bits == 16) png_set_swap(png);
    for (int32_t y = 0; y < image.height; y++) png_write_row(png, &image.samples[y * image.samples.size() / image.height]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    fclose(file);
}

struct TiffKind {
    bool planar = false;
    uint32_t tile = 0;  // tile side, 0 for strips of 8 rows
    uint16_t compression = COMPRESSION_NONE;
    uint16_t photometric = 0;  // 0: gray or RGB by the channel count, with alpha as an extra sample
    uint16_t extraSample = EXTRASAMPLE_UNASSALPHA;
    int pages = 1;  // pages after the first hold zeros
};

// Writes a constant image as a TIFF, every strip or tile holding its first pixel repeated.
void writeTiff(const std::string& path, const Image& image, const TiffKind& kind = {},
               const std::function<void(TIFF*)>& extra = {}) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    const size_t bytes = std::max(cli::sampleBytes(image), 1);
    for (int page = 0; page < kind.pages; page++) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, image.channels);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, image.bits);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, image.bits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, kind.photometric ? kind.photometric : image.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, kind.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, kind.compression);
        if (kind.photometric == 0 && image.channels % 2 == 0) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind.extraSample);
        if (kind.tile) TIFFSetField(tif, TIFFTAG_TILEWIDTH, kind.tile), TIFFSetField(tif, TIFFTAG_TILELENGTH, kind.tile);
        else TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
        if (extra) extra(tif);
        // Blocks come plane by plane.
        const uint32_t blocks = kind.tile ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        std::vector<uint8_t> block(static_cast<size_t>(kind.tile ? TIFFTileSize(tif) : TIFFStripSize(tif)));
        for (uint32_t b = 0; b < blocks; b++) {
            for (size_t s = 0; s < block.size() / bytes && page == 0 && image.bits >= 8; s++) {
                size_t channel = kind.planar ? b / (blocks / image.channels) : s % image.channels;
                memcpy(&block[s * bytes], &image.samples[channel * bytes], bytes);
            }
            if (kind.tile) TIFFWriteEncodedTile(tif, b, block.data(), static_cast<tmsize_t>(block.size()));
            else TIFFWriteEncodedStrip(tif, b, block.data(), static_cast<tmsize_t>(block.size()));
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

Image load(const std::string& path) {
    Image image;
    std::string error;
    EXPECT_TRUE(cli::loadImage(path, image, error)) << path << ": " << error;
    return image;
}

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

TEST_F(Cli, PalettePngBecomes8BitRgba) {
    // 20 x 20 pixels of 2-bit indices: 1 on the left half, 3 (transparent) on the right.
    Image packed = constantImage(20, 20, 1, 8, {});
    packed.samples.clear();
    for (int32_t y = 0; y < 20; y++) packed.samples.insert(packed.samples.end(), {0x55, 0x55, 0x5F, 0xFF, 0xFF});
    writePng(path("palette.png"), packed, [](png_structp png, png_infop info) {
        png_color palette[4] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {200, 100, 0}};
        png_byte alpha[4] = {255, 128, 64, 0};
        png_set_PLTE(png, info, palette, 4);
        png_set_tRNS(png, info, alpha, 4, nullptr);
    }, PNG_COLOR_TYPE_PALETTE, 2);
    ASSERT_EQ(warp({"--rect", "8,8,4,4"}, "palette.png", "out.png"), 0);
    Image out = load(path("out.png"));
    EXPECT_EQ(out.channels, 4);
    EXPECT_EQ(out.bits, 8);
    EXPECT_EQ(std::lround(sample(out, 0, 0, 1) * 255), 50);
    EXPECT_EQ(std::lround(sample(out, 0, 0, 3) * 255), 128);
    EXPECT_EQ(sample(out, 19, 19, 3), 0.0);
}

// An ICC profile header for an RGB display, padded with noise: libpng refuses profiles that
// compress too small.
std::vector<uint8_t> iccProfile() {
    std::vector<uint8_t> profile(300, 0);
    uint32_t noise = 12345;
    for (size_t i = 132; i < profile.size(); i++) profile[i] = static_cast<uint8_t>((noise = noise * 1103515245 + 12345) >> 24);
    profile[2] = 300 >> 8;
    profile[3] = 300 & 255;
    profile[8] = 2;
    memcpy(&profile[12], "mntrRGB XYZ ", 12);
    memcpy(&profile[36], "acsp", 4);
    const uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
    memcpy(&profile[68], d50, 12);
    return profile;
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
}

// A 16-bit value (as a fraction) after the host's scale and back: h = (v x 32768 + 32767) / 65535,
// then min(65535, (h x 65535 + 16384) / 32768), in integers.
double throughHostScale(double fraction) {
    uint32_t v = static_cast<uint32_t>(std::lround(fraction * 65535));
    uint32_t h = (v * 32768 + 32767) / 65535;
    uint32_t back = std::min(65535u, (h * 65535 + 16384) / 32768);
    EXPECT_LE(std::abs(static_cast<int32_t>(back) - static_cast<int32_t>(v)), 1);
    return back / 65535.0;
}

TEST_F(Cli, OnlyTheSelectedRectangleChanges) {
    // An 8-bit RGB ramp comes through exactly outside the rectangle; a 16-bit gray ramp over the
    // whole range within one step, exactly as the conversions to the host's scale and back give.
    for (int32_t bits : {8, 16}) {
        int32_t channels = bits == 8 ? 3 : 1;
        Image in = constantImage(64, 48, channels, bits, {});
        const size_t count = cli::sampleCount(in);
        for (size_t i = 0; i < count; i++) {
            uint16_t v = static_cast<uint16_t>(i * 65535 / (count - 1));
            if (bits == 8) in.samples[i] = static_cast<uint8_t>(i * 7);
            else memcpy(&in.samples[2 * i], &v, 2);
        }
        writePng(path("ramp.png"), in);
        ASSERT_EQ(warp({"--rect", "16,8,32,24"}, "ramp.png", "out.png"), 0);
        Image out = load(path("out.png"));
        int32_t changed = 0;
        for (int32_t y = 0; y < in.height; y++)
            for (int32_t x = 0; x < in.width; x++)
                for (int32_t c = 0; c < channels; c++) {
                    double before = sample(in, x, y, c), after = sample(out, x, y, c);
                    if (x >= 16 && x < 48 && y >= 8 && y < 32) changed += before != after;
                    else ASSERT_NEAR(after, bits == 8 ? before : throughHostScale(before), 1e-9) << x << "," << y;
                }
        EXPECT_GT(changed, 32 * 24 / 2) << bits;
        EXPECT_EQ(sample(out, 16, 8, 0), 0.0) << "the rectangle's corner is outside the disc: black";
    }
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

TEST_F(Cli, BadInputIsRefusedWithOneLineAndNothingWritten) {
    Image rgb = constantImage(16, 16, 3, 8, {0.5, 0.5, 0.5});
    writePng(path("good.png"), rgb);
    std::string bytes = readFile(path("good.png"));
    std::ofstream(path("truncated.png"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    std::ofstream(path("corrupt.png"), std::ios::binary) << bytes.replace(60, 10, 10, 'Z');
    std::ofstream(path("picture.bmp")) << "BM";
    std::ofstream(path("exists.png")) << "";
    fs::create_directory(path("folder.png"));
    // Deflate data overwritten with noise.
    writeTiff(path("corrupt.tif"), rgb, {false, 0, COMPRESSION_ADOBE_DEFLATE});
    std::fstream(path("corrupt.tif"), std::ios::in | std::ios::out | std::ios::binary).seekp(8) << std::string(24, '\xff');
    writeTiff(path("cmyk.tif"), constantImage(8, 8, 4, 8, {}), {false, 0, COMPRESSION_NONE, PHOTOMETRIC_SEPARATED});
    writeTiff(path("lab.tif"), constantImage(8, 8, 3, 8, {}), {false, 0, COMPRESSION_NONE, PHOTOMETRIC_CIELAB});
    writeTiff(path("five.tif"), constantImage(8, 8, 5, 8, {}), {false, 0, COMPRESSION_NONE, PHOTOMETRIC_RGB}, [](TIFF* tif) {
        uint16_t extras[2] = {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 2, extras);
    });
    writeTiff(path("bilevel.tif"), constantImage(8, 8, 1, 1, {}), {false, 0, COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE});
    writeTiff(path("float.tif"), constantImage(8, 8, 1, 32, {0.5}));
    writePng(path("wide.png"), constantImage(32768, 1, 1, 8, {}));
    std::vector<std::string> inputs = leftovers({});

    struct Case {
        std::vector<std::string> args;  // names of files in the test folder, or options
        std::string subject;            // what the message names
        std::string reason;
    };
    const Case cases[] = {
        {{"missing.png", "out.png"}, "missing.png", "No such file or directory"},
        {{"folder.png", "out.png"}, "folder.png", "is a folder"},
        {{"truncated.png", "out.png"}, "truncated.png", "truncated"},
        {{"corrupt.png", "out.png"}, "corrupt.png", "not a readable PNG image"},
        {{"corrupt.tif", "out.tif"}, "corrupt.tif", "corrupt or truncated TIFF image"},
        {{"cmyk.tif", "out.tif"}, "cmyk.tif", "CMYK"},
        {{"lab.tif", "out.tif"}, "lab.tif", "Lab images"},
        {{"five.tif", "out.tif"}, "five.tif", "5 channels"},
        {{"bilevel.tif", "out.tif"}, "bilevel.tif", "1-bit"},
        {{"picture.bmp", "out.png"}, "picture.bmp", "unknown file type"},
        {{"good.png", "out.gif"}, "out.gif", "unknown file type"},
        {{"wide.png", "out.png"}, "wide.png", "32768 x 1 pixels is too large"},
        {{"good.png", "nowhere/out.png"}, "nowhere/out.png", "does not exist"},
        {{"good.png", "exists.png"}, "exists.png", "already exists"},
        {{"float.tif", "out.png"}, "out.png", "PNG cannot hold 32-bit float"},
        {{"--rect", "8,8,9,4", "good.png", "out.png"}, "good.png", "--rect 8,8,9,4 reaches outside"},
        {{"--rect", "1,2,0,4", "good.png", "out.png"}, "--rect", "not X,Y,W,H"},
        {{"--sharpen", "good.png", "out.png"}, "--sharpen", "unknown option"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--quiet"};
        for (const std::string& a : c.args) args.push_back(a[0] == '-' || isdigit(a[0]) ? a : path(a));
        auto [exitCode, errors] = run(args);
        EXPECT_EQ(exitCode, 2) << c.subject;
        EXPECT_NE(errors.find(c.subject + ": "), std::string::npos) << errors;
        EXPECT_NE(errors.find(c.reason), std::string::npos) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(leftovers(inputs), std::vector<std::string>{}) << c.subject;
    }
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
