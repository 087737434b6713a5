// What the tests of the velorund executable share: a fixture that runs the tool as a user does
// (its exit code, its messages and the peak memory it took) in a folder of its own, constant
// images, and PNG, TIFF, JPEG and WebP files written as any program would, independently of the
// tool.
#pragma once

#include <gtest/gtest.h>
#include <lcms2.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "image_file.h"

// Kinds of test files are written with designated initializers naming only what differs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace clitest {

namespace fs = std::filesystem;
using cli::Image;


inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Starts the tool with the arguments, its standard error going to the file.
inline pid_t startTool(std::vector<std::string> args, const std::string& errors) {
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(errors.c_str(), "w", stderr)) _exit(127);
        std::vector<char*> argv{const_cast<char*>(VELORUND_EXECUTABLE)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(VELORUND_EXECUTABLE, argv.data());
        _exit(127);
    }
    return pid;
}

// The names in a folder, sorted, less the given ones.
inline std::vector<std::string> namesIn(const std::string& folder, const std::vector<std::string>& except = {}) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (std::find(except.begin(), except.end(), entry.path().filename()) == except.end())
            names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
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

    struct Ran {
        int exitCode;
        std::string errors;  // what it wrote to standard error
        long peakKilobytes;  // its largest resident size
    };
    Ran run(std::vector<std::string> args) const {
        std::string errors = path("stderr.txt");
        pid_t pid = startTool(std::move(args), errors);
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        std::string text = readFile(errors);
        fs::remove(errors);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text, usage.ru_maxrss};
    }
    int warp(const std::vector<std::string>& options, const std::string& in, const std::string& out) const {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--quiet", "--force", path(in), path(out)});
        return run(args).exitCode;
    }

    // Names in the folder other than the given inputs: outputs and any temporary file left.
    std::vector<std::string> leftovers(const std::vector<std::string>& inputs) const { return namesIn(dir_, inputs); }

    std::string dir_;
};

// A little-endian TIFF header, and a directory of entries (tag, type, count, value) with the
// offset of the next, as TIFF files and EXIF blocks hold them.
inline const std::string kTiffHeader("II*\0\x08\0\0\0", 8);
inline std::string tiffDirectory(const std::vector<std::array<uint32_t, 4>>& entries, uint32_t next) {
    std::string b;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++) b += static_cast<char>(v >> (8 * i));
    };
    put(static_cast<uint32_t>(entries.size()), 2);
    for (const auto& [tag, type, count, value] : entries) put(tag, 2), put(type, 2), put(count, 4), put(value, 4);
    put(next, 4);
    return b;
}

// A constant image: every pixel holds the given channel values (fractions of full scale), 0 for
// channels past them.
inline Image constantImage(int32_t width, int32_t height, int32_t channels, int32_t bits, std::vector<double> pixel) {
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
inline double sample(const Image& image, int32_t x, int32_t y, int32_t channel) {
    size_t index = (static_cast<size_t>(y) * image.width + x) * image.channels + channel;
    const uint8_t* p = image.samples.data() + index * cli::sampleBytes(image);
    uint16_t v16;
    float v32;
    if (image.bits == 8) return *p / 255.0;
    if (image.bits == 16) return memcpy(&v16, p, 2), v16 / 65535.0;
    return memcpy(&v32, p, 4), v32;
}

// One step of the image's scale, with room for rounding in the comparison.
inline double step(const Image& image) { return (image.bits == 8 ? 1 / 255.0 : image.bits == 16 ? 1 / 65535.0 : 1e-6) * 1.001; }

// A 16-bit value (as a fraction) after the host's scale and back: h = (v x 32768 + 32767) / 65535,
// then min(65535, (h x 65535 + 16384) / 32768), in integers.
inline double throughHostScale(double fraction) {
    uint32_t v = static_cast<uint32_t>(std::lround(fraction * 65535));
    uint32_t h = (v * 32768 + 32767) / 65535;
    uint32_t back = std::min(65535u, (h * 65535 + 16384) / 32768);
    EXPECT_LE(std::abs(static_cast<int32_t>(back) - static_cast<int32_t>(v)), 1);
    return back / 65535.0;
}

// Writes a PNG as any program would, 16-bit samples big-endian; samples hold whole rows.
inline void writePng(const std::string& path, const Image& image, const std::function<void(png_structp, png_infop)>& extra = {}) {
    static const int types[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    FILE* file = fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, image.bits, types[image.channels], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (extra) extra(png, info);
    png_write_info(png, info);
    if (image.bits == 16) png_set_swap(png);
    for (int32_t y = 0; y < image.height; y++) png_write_row(png, &image.samples[y * image.samples.size() / image.height]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    fclose(file);
}

// Sets the XMP packet of a PNG being written, as an iTXt chunk.
inline void setXmp(png_structp png, png_infop info, const std::string& xmp) {
    png_text text{};
    text.compression = PNG_ITXT_COMPRESSION_NONE;
    text.key = const_cast<char*>("XML:com.adobe.xmp");
    text.text = const_cast<char*>(xmp.c_str());
    text.itxt_length = xmp.size();
    png_set_text(png, info, &text, 1);
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
inline void writeTiff(const std::string& path, const Image& image, const TiffKind& kind = {},
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

// The ICC profile of sRGB, as Little CMS makes it.
inline std::vector<uint8_t> iccProfile() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(srgb, nullptr, &size);
    std::vector<uint8_t> profile(size);
    cmsSaveProfileToMem(srgb, profile.data(), &size);
    cmsCloseProfile(srgb);
    return profile;
}

struct JpegKind {
    int quality = 90;
    bool fullChroma = false;  // 4:4:4 instead of 4:2:0
    bool cmyk = false;        // four components of mid gray
    std::vector<uint8_t> icc;
    std::vector<std::string> app1;  // APP1 segments: EXIF and XMP with their prefixes
    bool arithmetic = false;        // arithmetic coding, progressive, instead of Huffman
    unsigned restartRows = 0;       // a restart marker after every this many MCU rows
    std::string comment;
};

// Writes an 8-bit gray or RGB image as a JPEG with libjpeg.
inline void writeJpeg(const std::string& path, const Image& image, const JpegKind& kind = {}) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    FILE* file = fopen(path.c_str(), "wb");
    jpeg_stdio_dest(&info, file);
    info.image_width = image.width;
    info.image_height = image.height;
    info.input_components = kind.cmyk ? 4 : image.channels;
    info.in_color_space = kind.cmyk ? JCS_CMYK : image.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kind.quality, TRUE);
    if (kind.fullChroma) info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
    if (kind.arithmetic) info.arith_code = TRUE, jpeg_simple_progression(&info);
    info.restart_in_rows = static_cast<int>(kind.restartRows);
    jpeg_start_compress(&info, TRUE);
    if (!kind.comment.empty())
        jpeg_write_marker(&info, JPEG_COM, reinterpret_cast<const JOCTET*>(kind.comment.data()), static_cast<unsigned>(kind.comment.size()));
    if (!kind.icc.empty()) jpeg_write_icc_profile(&info, kind.icc.data(), static_cast<unsigned>(kind.icc.size()));
    for (const std::string& segment : kind.app1)
        jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(segment.data()), static_cast<unsigned>(segment.size()));
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * info.input_components, 128);
    for (int32_t y = 0; y < image.height; y++) {
        if (!kind.cmyk) memcpy(row.data(), &image.samples[y * row.size()], row.size());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    fclose(file);
}

// The JPEG file with the picture size in its frame header changed: its image data then decodes
// to a picture of that size, as far as it reaches.
inline std::string withPictureSize(std::string jpeg, uint16_t width, uint16_t height) {
    for (size_t at = 2; at + 9 < jpeg.size();) {
        const uint8_t marker = static_cast<uint8_t>(jpeg[at + 1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            jpeg.replace(at + 5, 4, {char(height >> 8), char(height), char(width >> 8), char(width)});
            break;
        }
        at += 2 + (static_cast<uint8_t>(jpeg[at + 2]) << 8 | static_cast<uint8_t>(jpeg[at + 3]));
    }
    return jpeg;
}

// A lossless WebP of width x height pixels of one colour in 28 bytes: every code has a single
// symbol, so the pixels take no bits at all.
inline std::string oneColourWebp(uint32_t width, uint32_t height) {
    uint64_t bits = 0x2F | uint64_t{width - 1} << 8 | uint64_t{height - 1} << 22;
    for (int code = 0; code < 5; code++) bits |= uint64_t{1} << (43 + 4 * code);  // simple, one 1-bit symbol 0
    std::string data(8, '\0');
    for (int i = 0; i < 8; i++) data[i] = static_cast<char>(bits >> (8 * i));
    return std::string("RIFF\x14\0\0\0WEBPVP8L\x08\0\0\0", 20) + data;
}

// Writes an 8-bit RGB or RGBA image as a WebP with libwebp, lossy at quality 90 or lossless.
inline void writeWebp(const std::string& path, const Image& image, bool lossless) {
    uint8_t* bytes = nullptr;
    const int stride = image.width * image.channels;
    const uint8_t* pixels = image.samples.data();
    size_t size = image.channels == 4 ? (lossless ? WebPEncodeLosslessRGBA(pixels, image.width, image.height, stride, &bytes)
                                                  : WebPEncodeRGBA(pixels, image.width, image.height, stride, 90, &bytes))
                                      : WebPEncodeRGB(pixels, image.width, image.height, stride, 90, &bytes);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    WebPFree(bytes);
}

// A smooth 8-bit picture with detail in every channel, like a photograph's.
inline Image texture(int32_t width, int32_t height, int32_t channels) {
    Image image = constantImage(width, height, channels, 8, {});
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++)
            for (int32_t c = 0; c < channels; c++)
                image.samples[(static_cast<size_t>(y) * width + x) * channels + c] = static_cast<uint8_t>(
                    c == 3 ? 255 - x : 128 + 90 * std::sin(x / (5.0 + c)) * std::cos(y / (7.0 - c)));
    return image;
}

// The peak signal-to-noise ratio of two 8-bit images of one layout, in decibels, over what is
// seen: colour weighted by alpha, and alpha.
inline double psnr(const Image& a, const Image& b) {
    EXPECT_EQ(a.samples.size(), b.samples.size());
    const size_t channels = static_cast<size_t>(a.channels), alpha = cli::hasAlpha(a) ? channels - 1 : channels;
    double squares = 0;
    for (size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); i++) {
        const size_t pixel = i - i % channels;
        auto seen = [&](const Image& m) {
            return m.samples[i] * (alpha < channels && i % channels != alpha ? m.samples[pixel + alpha] / 255.0 : 1.0);
        };
        squares += std::pow(seen(a) - seen(b), 2);
    }
    return squares == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.samples.size() / squares);
}

inline Image load(const std::string& path) {
    Image image;
    std::string error;
    EXPECT_TRUE(cli::loadImage(path, image, error)) << path << ": " << error;
    return image;
}

}  // namespace clitest
