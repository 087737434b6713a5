// Input the tool must refuse: each refusal is one line naming the file and the reason, exit
// status 2, and nothing left behind. Pictures past the pixel limit are refused from the header,
// files that lie about their size fail before they cost memory, and a corrupt TIFF is explained
// by its first error.
#include <sys/stat.h>
#include <zlib.h>

#include "cli_fixture.h"

namespace {

using namespace clitest;

TEST_F(Cli, BadInputIsRefusedWithOneLineAndNothingWritten) {
    Image rgb = constantImage(16, 16, 3, 8, {0.5, 0.5, 0.5});
    writePng(path("good.png"), rgb);
    std::string bytes = readFile(path("good.png"));
    std::ofstream(path("truncated.png"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
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
    writeTiff(path("palette.tif"), constantImage(8, 8, 1, 1, {}), {false, 0, COMPRESSION_NONE, PHOTOMETRIC_PALETTE}, [](TIFF* tif) {
        static uint16_t map[2] = {0, 65535};
        TIFFSetField(tif, TIFFTAG_COLORMAP, map, map, map);
    });
    writeTiff(path("float.tif"), constantImage(8, 8, 1, 32, {0.5}));
    writePng(path("wide.png"), constantImage(32768, 1, 1, 8, {}));
    writeJpeg(path("cmyk.jpg"), rgb, {.cmyk = true});
    writeJpeg(path("good.jpg"), texture(64, 64, 3));
    writeWebp(path("good.webp"), texture(64, 64, 3), false);
    for (const char* name : {"good.jpg", "good.webp"}) {
        std::string whole = readFile(path(name));
        std::ofstream(path(std::string("truncated") + strchr(name, '.')), std::ios::binary) << whole.substr(0, whole.size() * 3 / 5);
    }
    // Image data that ends at a marker, the file itself complete.
    std::string jpeg = readFile(path("good.jpg"));
    std::ofstream(path("cut.jpg"), std::ios::binary) << jpeg.substr(0, jpeg.size() / 2) << "\xFF\xD9";
    ASSERT_EQ(mkfifo(path("pipe.png").c_str(), 0600), 0);
    // Pictures larger than the pixel limit in a few bytes: a lossless WebP of one colour, and
    // arithmetic-coded image data of one colour, which decodes to any size.
    std::ofstream(path("bomb.webp"), std::ios::binary) << oneColourWebp(16383, 16383);
    writeJpeg(path("flat.jpg"), constantImage(16, 16, 3, 8, {0.5, 0.5, 0.5}), {.arithmetic = true});
    std::ofstream(path("bomb.jpg"), std::ios::binary) << withPictureSize(readFile(path("flat.jpg")), 16000, 16000);
    // An animated PNG, and restart markers out of order in a complete JPEG.
    writePng(path("animated.png"), rgb, [](png_structp png, png_infop info) {
        png_unknown_chunk control{"acTL", const_cast<png_byte*>(reinterpret_cast<const png_byte*>("\0\0\0\2\0\0\0\0")), 8, PNG_HAVE_IHDR};
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
        png_set_unknown_chunks(png, info, &control, 1);
    });
    writeJpeg(path("restarts.jpg"), texture(64, 64, 3), {.restartRows = 1});
    std::string restarted = readFile(path("restarts.jpg"));
    restarted[restarted.find("\xFF\xD1")] = '\0', restarted[restarted.find("\xFF\xD2") + 1] = '\xD1';
    restarted[restarted.find(std::string("\0\xD1", 2))] = '\xFF';
    std::ofstream(path("restarts.jpg"), std::ios::binary) << restarted;
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
        {{"corrupt.tif", "out.tif"}, "corrupt.tif", "corrupt or truncated TIFF image"},
        {{"cmyk.tif", "out.tif"}, "cmyk.tif", "CMYK"},
        {{"lab.tif", "out.tif"}, "lab.tif", "Lab images"},
        {{"five.tif", "out.tif"}, "five.tif", "5 channels"},
        {{"bilevel.tif", "out.tif"}, "bilevel.tif", "1-bit (black and white) images"},
        {{"palette.tif", "out.tif"}, "palette.tif", "1-bit palette (indexed-colour) images"},
        {{"picture.bmp", "out.png"}, "picture.bmp", "unknown file type"},
        {{"good.png", "out.gif"}, "out.gif", "unknown file type"},
        {{"cmyk.jpg", "out.jpg"}, "cmyk.jpg", "CMYK JPEG images are not supported"},
        {{"truncated.jpg", "out.jpg"}, "truncated.jpg", "truncated"},
        {{"cut.jpg", "out.jpg"}, "cut.jpg", "truncated"},
        {{"truncated.webp", "out.webp"}, "truncated.webp", "truncated"},
        {{"pipe.png", "out.png"}, "pipe.png", "is not a regular file"},
        {{"float.tif", "out.jpg"}, "out.jpg", "JPEG cannot hold 32-bit float"},
        {{"wide.png", "out.png"}, "wide.png", "32768 x 1 pixels is too large"},
        {{"good.png", "nowhere/out.png"}, "nowhere/out.png", "does not exist"},
        {{"good.png", "exists.png"}, "exists.png", "already exists"},
        {{"float.tif", "out.png"}, "out.png", "PNG cannot hold 32-bit float"},
        {{"--rect", "8,8,9,4", "good.png", "out.png"}, "good.png", "--rect 8,8,9,4 reaches outside"},
        {{"--rect", "1,2,0,4", "good.png", "out.png"}, "--rect", "not X,Y,W,H"},
        {{"--rect", "4294967301,0,4,4", "good.png", "out.png"}, "--rect", "not X,Y,W,H"},
        {{"--rect", "8,8,4,4,", "good.png", "out.png"}, "--rect", "not X,Y,W,H"},
        {{"--quality", "101", "good.png", "out.jpg"}, "--quality", "not a whole number from 1 to 100"},
        {{"--threads", "33", "good.png", "out.png"}, "--threads", "'33' is not a whole number from 1 to 32"},
        {{"--threads", "0", "good.png", "out.png"}, "--threads", "'0' is not a whole number from 1 to 32"},
        {{"--sharpen", "good.png", "out.png"}, "--sharpen", "unknown option"},
        {{"bomb.webp", "out.png"}, "bomb.webp", "(269 megapixels) is more than the limit of 180 megapixels (--max-megapixels"},
        {{"bomb.jpg", "out.png"}, "bomb.jpg", "(256 megapixels) is more than the limit of 180"},
        {{"--max-megapixels", "20", "bomb.jpg", "out.png"}, "bomb.jpg", "more than the limit of 20 megapixels"},
        {{"--max-megapixels", "1101", "bomb.jpg", "out.png"}, "--max-megapixels", "not a whole number from 0"},
        {{"animated.png", "out.png"}, "animated.png", "animated PNG images are not supported"},
        {{"restarts.jpg", "out.png"}, "restarts.jpg", "corrupt JPEG image"},
        {{"new\nline.png", "out.png"}, "new\\nline.png", "No such file"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--quiet"};
        for (const std::string& a : c.args) args.push_back(a[0] == '-' || isdigit(a[0]) ? a : path(a));
        auto [exitCode, errors, peak] = run(args);
        EXPECT_EQ(exitCode, 2) << c.subject;
        EXPECT_NE(errors.find(c.subject + ": "), std::string::npos) << errors;
        EXPECT_NE(errors.find(c.reason), std::string::npos) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(leftovers(inputs), std::vector<std::string>{}) << c.subject;
    }
}

// A 16-bit gray PNG header for a side x side image, with a few bytes of deflate data.
std::string lyingPng(uint32_t side) {
    auto bigEndian = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    std::string png("\x89PNG\r\n\x1a\n", 8);
    auto chunk = [&](const char* type, const std::string& data) {
        const std::string body = type + data;
        png += bigEndian(static_cast<uint32_t>(data.size())) + body;
        png += bigEndian(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    };
    chunk("IHDR", bigEndian(side) + bigEndian(side) + std::string("\x10\0\0\0\0", 5));
    chunk("IDAT", std::string("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9));
    chunk("IEND", "");
    return png;
}

TEST_F(Cli, FilesThatLieAboutTheirSizeFailInLittleMemory) {
    // 19 x 13 gray pixels in tiles of 65536 x 65536 and of 128 x 4294967280, 32767 x 32767
    // 16-bit pixels in a strip past the end of the file, and a PNG of 32767 x 32767 at 16 bits.
    auto gray = [](uint32_t width, uint32_t height, uint32_t bits, std::vector<std::array<uint32_t, 4>> layout) {
        std::vector<std::array<uint32_t, 4>> entries{{256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 1, bits},
                                                     {259, 3, 1, 1},     {262, 3, 1, 1},      {277, 3, 1, 1}};
        entries.insert(entries.end(), layout.begin(), layout.end());
        return kTiffHeader + tiffDirectory(entries, 0) + std::string(64, '\x40');
    };
    const uint32_t data = 8 + 2 + 10 * 12 + 4;  // where the tail starts
    std::ofstream(path("tiles.tif"), std::ios::binary)
        << gray(19, 13, 8, {{322, 4, 1, 65536}, {323, 4, 1, 65536}, {324, 4, 1, data}, {325, 4, 1, 64}});
    std::ofstream(path("tall.tif"), std::ios::binary)
        << gray(19, 13, 8, {{322, 4, 1, 128}, {323, 4, 1, 4294967280u}, {324, 4, 1, data}, {325, 4, 1, 64}});
    std::ofstream(path("strip.tif"), std::ios::binary)
        << gray(32767, 32767, 16, {{273, 4, 1, 100000}, {278, 4, 1, 32767}, {279, 4, 1, 2147352578u}});
    std::ofstream(path("huge.png"), std::ios::binary) << lyingPng(32767);

    for (const char* name : {"tiles.tif", "tall.tif", "strip.tif", "huge.png"}) {
        Ran ran = run({"--quiet", "--max-megapixels", "0", path(name), path("out.png")});
        EXPECT_EQ(ran.exitCode, 2) << name << ": " << ran.errors;
        EXPECT_LT(ran.peakKilobytes, 256 << 10) << name;
        EXPECT_FALSE(fs::exists(path("out.png"))) << name;
        if (std::string(name) == "strip.tif") {
            EXPECT_NE(ran.errors.find("strip 0 starts past the end of the file"), std::string::npos) << ran.errors;
            EXPECT_EQ(ran.errors.find("Predictor"), std::string::npos) << ran.errors;
        }
    }
}

}  // namespace
