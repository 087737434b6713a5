// PNG through libpng: 8 and 16-bit gray, gray + alpha, RGB and RGBA, with palette, sub-8-bit and
// tRNS images expanded to 8-bit samples (tRNS becoming alpha); the pixel density (pHYs), the ICC
// profile (iCCP), the colour encoding (gAMA, cHRM, sRGB), the significant bits (sBIT), EXIF
// (eXIf) and XMP (iTXt) are kept. libpng reports errors by a long jump back to the reading or
// writing function, which therefore holds nothing that needs destroying.
//
// Photographs are written with adaptive row filters and run-length deflate at zlib level 6:
// filtered photographs leave short residuals that run-length coding packs as small as the
// default matching does, in a fraction of its time.
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image_file.h"
#include "metadata.h"

namespace cli {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;
constexpr double kMetresPerInch = 0.0254;
constexpr int kDefaultLevel = 6;
// Deflate never expands data more than 1032 times: 258 bytes from a match coded in two bits.
constexpr double kMaxDeflateRatio = 1032;
constexpr const char* kXmpKeyword = "XML:com.adobe.xmp";

// libpng's error message, after what was being done, and its last warning.
struct PngError {
    const char* doing;
    std::string message;
    std::string warning = "";
};

// libpng allocates what a chunk's header declares. No chunk holds more than deflate's best ratio
// of the whole file once inflated, so a request past that (or past a few megabytes for a small
// file) comes from a lying header and is refused before any memory is taken for it.
constexpr size_t kSmallFileAllocation = 4 << 20;

static png_voidp boundedMalloc(png_structp png, png_alloc_size_t size) {
    const size_t limit = *static_cast<const size_t*>(png_get_mem_ptr(png));
    return size <= limit ? malloc(size) : nullptr;
}

static void pngFree(png_structp, png_voidp block) { free(block); }

static void pngError(png_structp png, png_const_charp message) {
    PngError* error = static_cast<PngError*>(png_get_error_ptr(png));
    error->message = std::string(error->doing) + message;
    png_longjmp(png, 1);
}

static void pngWarning(png_structp png, png_const_charp message) {
    static_cast<PngError*>(png_get_error_ptr(png))->warning = message;
}

// Reads from the file, telling a truncated file from a failing one.
static void readBytes(png_structp png, png_bytep data, size_t length) {
    FILE* file = static_cast<FILE*>(png_get_io_ptr(png));
    if (fread(data, 1, length, file) == length) return;
    png_error(png, ferror(file) ? strerror(errno) : "the file is truncated");
}

static double pixelsPerMetre(double resolution, ResolutionUnit unit) {
    if (unit == ResolutionUnit::Inch) return resolution / kMetresPerInch;
    if (unit == ResolutionUnit::Centimetre) return resolution * 100;
    return resolution;
}

// Chunks the tool reads itself rather than through libpng: eXIf, which libpng refuses when it
// starts with the "Exif\0\0" that some writers put before the block; the colour chunks, whose
// presence libpng's reading blurs (it reports gAMA and cHRM for a file that has only sRGB); and
// the ancillary chunks the tool does not carry, which are only named. acTL makes the file an
// animation.
constexpr png_byte kOwnChunks[] = "eXIf\0acTL\0gAMA\0cHRM\0sRGB\0sBIT\0bKGD\0hIST\0tIME\0sPLT\0oFFs\0pCAL\0sCAL\0tEXt\0zTXt\0";

constexpr const char* kTextChunks = "the PNG text chunks";

struct PngReading {
    Image& image;
    png_infop info;
    bool animated = false;
};

static uint32_t bigEndian32(const png_byte* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// A colour chunk into the image's colour encoding, the first of each kind; false for one that
// does not hold what its kind holds.
static bool readColourChunk(png_structp png, png_infop info, const png_unknown_chunk& chunk, ColourEncoding& colour) {
    const std::string name(reinterpret_cast<const char*>(chunk.name), 4);
    const size_t size = chunk.size;
    if (name == "gAMA") {
        if (size != 4 || bigEndian32(chunk.data) == 0) return false;
        if (colour.gamma == 0) colour.gamma = bigEndian32(chunk.data);
    } else if (name == "cHRM") {
        if (size != 32 || bigEndian32(chunk.data + 4) == 0) return false;
        if (!hasChromaticities(colour))
            for (size_t i = 0; i < 8; i++) colour.chromaticities[i] = bigEndian32(chunk.data + 4 * i);
    } else if (name == "sRGB") {
        if (size != 1 || chunk.data[0] > 3) return false;
        if (colour.srgbIntent < 0) colour.srgbIntent = chunk.data[0];
    } else {
        // One count per channel as stored (a palette's three colours), each at most the depth.
        const int type = png_get_color_type(png, info);
        const int depth = type == PNG_COLOR_TYPE_PALETTE ? 8 : png_get_bit_depth(png, info);
        const size_t channels = type == PNG_COLOR_TYPE_PALETTE ? 3 : png_get_channels(png, info);
        if (size != channels || std::any_of(chunk.data, chunk.data + size, [&](png_byte b) { return b == 0 || b > depth; }))
            return false;
        if (!hasSignificantBits(colour)) std::copy(chunk.data, chunk.data + size, colour.significantBits.begin());
    }
    return true;
}

static int readOwnChunk(png_structp png, png_unknown_chunkp chunk) {
    PngReading* reading = static_cast<PngReading*>(png_get_user_chunk_ptr(png));
    const std::string name(reinterpret_cast<const char*>(chunk->name), 4);
    if (!(chunk->name[0] & 0x20)) return 0;  // a critical chunk libpng does not know: its error
    if (name == "acTL") reading->animated = true;
    else if (name == "gAMA" || name == "cHRM" || name == "sRGB" || name == "sBIT") {
        if (!readColourChunk(png, reading->info, *chunk, reading->image.colour))
            noteNotCarried(reading->image, "the PNG " + name + " chunk, which is not valid");
    } else if (name == "tEXt" || name == "zTXt") noteNotCarried(reading->image, kTextChunks);
    else if (name != "eXIf") noteNotCarried(reading->image, "the PNG " + name + " chunk");
    else if (reading->image.exif.empty()) reading->image.exif = exifBlock(chunk->data, chunk->size);
    return 1;
}

// XMP, and the other text that is not carried.
static void readText(png_structp png, png_infop info, Image& image) {
    png_textp texts = nullptr;
    int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count; i++) {
        if (strcmp(texts[i].key, kXmpKeyword) != 0) noteNotCarried(image, kTextChunks);
        else if (image.xmp.empty())
            image.xmp.assign(texts[i].text, texts[i].compression >= PNG_ITXT_COMPRESSION_NONE ? texts[i].itxt_length
                                                                                              : texts[i].text_length);
    }
}

static bool readPng(png_structp png, png_infop info, FILE* file, Image& image, const LoadSettings& settings,
                    PngError& error) {
    if (setjmp(png_jmpbuf(png))) return false;
    PngReading reading{image, info};
    png_set_read_fn(png, file, readBytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kOwnChunks, sizeof kOwnChunks / 5);
    png_set_read_user_chunk_fn(png, &reading, readOwnChunk);
    png_read_info(png, info);
    image.width = static_cast<int32_t>(png_get_image_width(png, info));
    image.height = static_cast<int32_t>(png_get_image_height(png, info));
    error.message = pictureSizeProblem(png_get_image_width(png, info), png_get_image_height(png, info), settings);
    if (reading.animated) error.message = "animated PNG images are not supported";
    if (!error.message.empty()) return false;
    // A file too short to hold its pixels even at deflate's best is refused before any memory
    // is taken for them.
    struct stat status;
    const double stored = static_cast<double>(png_get_rowbytes(png, info) + 1) * image.height;
    if (fstat(fileno(file), &status) == 0 && stored > kMaxDeflateRatio * static_cast<double>(status.st_size)) {
        error.message = "the file is truncated: it is too short for " + std::to_string(image.width) + " x " +
                        std::to_string(image.height) + " pixels";
        return false;
    }

    // Palette, sub-8-bit gray and tRNS become plain 8-bit samples with alpha where tRNS was.
    png_set_expand(png);
    if (png_get_bit_depth(png, info) == 16 && kLittleEndian) png_set_swap(png);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image.channels = png_get_channels(png, info);
    image.bits = png_get_bit_depth(png, info);

    png_uint_32 xDensity, yDensity;
    int unit;
    if (png_get_pHYs(png, info, &xDensity, &yDensity, &unit)) {
        image.xResolution = xDensity;
        image.yResolution = yDensity;
        image.resolutionUnit = unit == PNG_RESOLUTION_METER ? ResolutionUnit::Metre : ResolutionUnit::None;
    }
    png_charp name;
    int compression;
    png_bytep profile;
    png_uint_32 profileLength;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLength))
        image.iccProfile.assign(profile, profile + profileLength);

    // Rows are stored as they arrive; every pass of an interlaced image fills in its pixels of
    // all rows.
    const size_t stride = rowBytes(image);
    if (passes > 1) growRows(image, image.height);
    for (int pass = 0; pass < passes; pass++)
        for (int32_t y = 0; y < image.height; y++) {
            if (y % kRowsBetweenStops == 0 && stopAsked(settings)) return error.message = kStopped, false;
            png_read_row(png, growRows(image, y + 1) + y * stride, nullptr);
        }
    png_read_end(png, info);
    readText(png, info, image);
    return true;
}

bool loadPng(const std::string& path, Image& image, std::string& error, const LoadSettings& settings) {
    FILE* file = openFile(path, "rb", error);
    if (!file) return false;
    PngError failure{"not a readable PNG image: ", "out of memory"};
    struct stat status;
    const double fileBytes = fstat(fileno(file), &status) == 0 ? static_cast<double>(status.st_size) : 0;
    size_t allocationLimit = std::max(kSmallFileAllocation, static_cast<size_t>(kMaxDeflateRatio * fileBytes));
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning,
                                               &allocationLimit, boundedMalloc, pngFree);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info && readPng(png, info, file, image, settings, failure);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(file);
    if (!ok) error = failure.message;
    return ok;
}

// The colour chunks, each checked by libpng against those set before it and the ICC profile; one
// it finds inconsistent is left out. sRGB stands only where no profile does, as PNG allows one
// of them.
static void writeColourChunks(png_structp png, png_infop info, const Image& image, const SaveSettings& settings,
                              PngError& error) {
    const ColourEncoding& colour = image.colour;
    auto set = [&](const char* name, auto setChunk) {
        error.warning.clear();
        setChunk();
        if (!error.warning.empty())
            leaveOut(settings, std::string("the PNG ") + name + " chunk, which libpng refuses: " + error.warning);
    };
    if (colour.srgbIntent >= 0 && png_get_valid(png, info, PNG_INFO_iCCP))
        leaveOut(settings, "the PNG sRGB chunk, which a PNG file holds only without an ICC profile");
    else if (colour.srgbIntent >= 0)
        set("sRGB", [&] { png_set_sRGB(png, info, colour.srgbIntent); });
    if (colour.gamma > 0) set("gAMA", [&] { png_set_gAMA_fixed(png, info, static_cast<png_fixed_point>(colour.gamma)); });
    if (hasChromaticities(colour)) {
        const auto c = [&](int i) { return static_cast<png_fixed_point>(colour.chromaticities[i]); };
        set("cHRM", [&] { png_set_cHRM_fixed(png, info, c(0), c(1), c(2), c(3), c(4), c(5), c(6), c(7)); });
    }
    // The counts of the channels the image still has; alpha made from tRNS has all its bits.
    if (hasSignificantBits(colour)) {
        const auto bits = [&](int channel) {
            return colour.significantBits[channel] ? colour.significantBits[channel] : static_cast<png_byte>(image.bits);
        };
        const int colours = image.channels - hasAlpha(image);
        png_color_8 significant{};
        if (colours == 1) significant.gray = bits(0);
        else significant.red = bits(0), significant.green = bits(1), significant.blue = bits(2);
        if (hasAlpha(image)) significant.alpha = bits(colours);
        png_set_sBIT(png, info, &significant);
    }
}

static bool writePng(png_structp png, png_infop info, FILE* file, const Image& image, const SaveSettings& settings,
                     PngError& error) {
    if (setjmp(png_jmpbuf(png))) return false;
    static const int colourTypes[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                      PNG_COLOR_TYPE_RGB_ALPHA};
    png_init_io(png, file);
    if (settings.compression < 0) {
        png_set_compression_level(png, kDefaultLevel);
        png_set_compression_strategy(png, Z_RLE);
    } else {
        png_set_compression_level(png, settings.compression);
    }
    // A profile libpng finds fault with is left out rather than failing the file.
    png_set_benign_errors(png, 1);
    png_set_IHDR(png, info, image.width, image.height, image.bits, colourTypes[image.channels], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.xResolution > 0 && image.yResolution > 0) {
        bool absolute = image.resolutionUnit != ResolutionUnit::None;
        png_set_pHYs(png, info, static_cast<png_uint_32>(std::lround(pixelsPerMetre(image.xResolution, image.resolutionUnit))),
                     static_cast<png_uint_32>(std::lround(pixelsPerMetre(image.yResolution, image.resolutionUnit))),
                     absolute ? PNG_RESOLUTION_METER : PNG_RESOLUTION_UNKNOWN);
    }
    if (!image.iccProfile.empty() && !profileFits(image.iccProfile, image.channels - hasAlpha(image)))
        leaveOut(settings, kProfileMismatch);
    else if (!image.iccProfile.empty()) {
        png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, image.iccProfile.data(),
                     static_cast<png_uint_32>(image.iccProfile.size()));
        if (!png_get_valid(png, info, PNG_INFO_iCCP)) leaveOut(settings, "the ICC profile, which libpng finds invalid");
    }
    writeColourChunks(png, info, image, settings, error);
    if (!image.exif.empty())
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(image.exif.size()), const_cast<png_bytep>(image.exif.data()));
    png_text xmp{};
    if (!image.xmp.empty()) {
        xmp.compression = PNG_ITXT_COMPRESSION_NONE;
        xmp.key = const_cast<char*>(kXmpKeyword);
        xmp.text = const_cast<char*>(image.xmp.c_str());
        xmp.itxt_length = image.xmp.size();
        png_set_text(png, info, &xmp, 1);
    }
    png_write_info(png, info);
    if (image.bits == 16 && kLittleEndian) png_set_swap(png);
    for (int32_t y = 0; y < image.height; y++) {
        if (!rowsReady(settings, y + 1)) png_error(png, kAbandoned);
        png_write_row(png, image.samples.data() + y * rowBytes(image));
    }
    png_write_end(png, nullptr);
    return true;
}

bool savePng(const Image& image, const std::string& path, const SaveSettings& settings, std::string& error) {
    FILE* file = openFile(path, "wb", error);
    if (!file) return false;
    PngError failure{"cannot write the PNG image: ", "out of memory"};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info && writePng(png, info, file, image, settings, failure);
    png_destroy_write_struct(&png, &info);
    if (fclose(file) != 0 && ok) {
        failure.message = failure.doing + std::string(strerror(errno));
        ok = false;
    }
    if (!ok) error = failure.message;
    return ok;
}

}  // namespace cli
