// Image files for the command-line tool: a decoded image held in memory with its metadata, and
// its loading and saving as PNG, TIFF, JPEG or WebP (chosen by the file name's extension)
// through libpng, libtiff, libjpeg-turbo and libwebp. Failures come back as one-line reasons,
// without the file name.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cli {

enum class FileFormat { Unknown, Png, Tiff, Jpeg, Webp };

enum class ResolutionUnit { None, Inch, Centimetre, Metre };

// How a TIFF file stored its samples; saving a TIFF repeats it. Files from elsewhere get the
// defaults: interleaved strips, compressed with deflate.
struct TiffLayout {
    bool planar = false;         // one plane per channel instead of interleaved samples
    uint32_t tileWidth = 0;      // 0: strips
    uint32_t tileHeight = 0;
    uint32_t rowsPerStrip = 0;   // 0: libtiff's default
    uint16_t compression = 0;    // 0: deflate
    uint16_t predictor = 0;      // 0: none
    bool associatedAlpha = false;  // colour premultiplied by alpha in the file
};

// What the codec of a JPEG or WebP file chose, so that a file of the same kind is written alike.
struct SourceCoding {
    bool fullChroma = false;  // JPEG colour stored at full resolution (4:4:4)
    bool lossless = false;    // lossless WebP
};

// How the colour values are encoded where no ICC profile says it, as a PNG file's gAMA, cHRM and
// sRGB chunks give it, and how many bits of each sample carry information (sBIT). The numbers
// are PNG's: gamma and chromaticities times 100000.
struct ColourEncoding {
    uint32_t gamma = 0;                         // the exponent that encoded the values (45455: 1/2.2); 0: none
    std::array<uint32_t, 8> chromaticities{};  // white, red, green and blue, x then y; all 0: none
    int32_t srgbIntent = -1;                    // the rendering intent of values declared sRGB; -1: not declared
    std::array<uint8_t, 4> significantBits{};   // per channel of the image, colours then alpha; 0: all
};

inline bool hasChromaticities(const ColourEncoding& colour) { return colour.chromaticities[1] != 0; }
inline bool hasSignificantBits(const ColourEncoding& colour) { return colour.significantBits != std::array<uint8_t, 4>{}; }

// An allocator that leaves new samples uninitialised: decoders write every sample, and the pages
// of a large image are taken from the system only as its rows arrive.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using Samples = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

// Channels 1 gray, 2 gray + alpha, 3 RGB, 4 RGBA, interleaved pixel by pixel in native byte
// order: 8 bits, 16 bits (0..65535) or 32-bit float (1.0 full) per sample. Alpha is never
// premultiplied here. A loaded image stands upright: the file's orientation is applied, and its
// EXIF and XMP say orientation 1.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    int32_t bits = 8;
    Samples samples;
    double xResolution = 0;  // pixels per unit, 0 when the file gives none; with unit None
    double yResolution = 0;  // only their ratio, the pixel aspect, is known
    ResolutionUnit resolutionUnit = ResolutionUnit::None;
    std::vector<uint8_t> iccProfile;
    std::vector<uint8_t> exif;  // the TIFF-structured EXIF block, without the "Exif\0\0" prefix
    std::string xmp;            // the XMP packet
    ColourEncoding colour;
    int32_t orientation = 0;    // EXIF orientation 1..8 of the stored pixels, 0 when none is given; 1 once loaded
    TiffLayout tiff;
    SourceCoding coding;
    // What the file held that the image does not carry ("the JPEG comment"), for the warning
    // that names what an output lost.
    std::vector<std::string> notCarried;
};

// A picture of more pixels than this is refused by default: above every camera sensor, and far
// below what a small file can claim.
constexpr uint64_t kDefaultMaxPixels = 180'000'000;

// How files are read. A picture of more than maxPixels pixels (0: no limit) is refused from its
// header, before any pixel is decoded. stop, when set, is asked between bands of rows; a true
// answer ends the load with the error kStopped.
struct LoadSettings {
    uint64_t maxPixels = kDefaultMaxPixels;
    std::function<bool()> stop;
};

// How files are written. rowsReady, when set, is called before rows are read with the number of
// rows from the top that must then hold their final samples; it waits until they do, and returns
// false when the file is to be abandoned. leftOut, when set, is told each piece of metadata the
// file cannot hold ("the EXIF block of ... bytes, ..."); the file is written without it.
struct SaveSettings {
    int32_t quality = 92;      // JPEG and lossy WebP, 1..100
    int32_t compression = -1;  // zlib level 0..9 of PNG and deflate TIFF; -1 for the default
    std::function<bool(int32_t rows)> rowsReady;
    std::function<void(const std::string& what)> leftOut;
};

inline bool hasAlpha(const Image& image) { return image.channels % 2 == 0; }
inline int32_t sampleBytes(const Image& image) { return image.bits / 8; }
inline size_t rowBytes(const Image& image) {
    return static_cast<size_t>(image.width) * image.channels * sampleBytes(image);
}
size_t sampleCount(const Image& image);

FileFormat formatOf(const std::string& path);  // by extension, ignoring case
const char* extensionOf(FileFormat format);    // ".png", ".tif", ".jpg" or ".webp"
bool holdsAlpha(FileFormat format);

// Each returns true on success, or false with the reason in error.
bool loadImage(const std::string& path, Image& image, std::string& error, const LoadSettings& settings = {});
bool saveImage(const Image& image, const std::string& path, FileFormat format, const SaveSettings& settings,
               std::string& error);

// The loaders leave the image as stored, a TIFF's orientation tag read; loadImage then takes the
// orientation from EXIF or else from XMP when the file gave none, and turns the image upright.
bool loadPng(const std::string& path, Image& image, std::string& error, const LoadSettings& settings = {});
bool loadTiff(const std::string& path, Image& image, std::string& error, const LoadSettings& settings = {});
bool loadJpeg(const std::string& path, Image& image, std::string& error, const LoadSettings& settings = {});
bool loadWebp(const std::string& path, Image& image, std::string& error, const LoadSettings& settings = {});
bool savePng(const Image& image, const std::string& path, const SaveSettings& settings, std::string& error);
bool saveTiff(const Image& image, const std::string& path, const SaveSettings& settings, std::string& error);
bool saveJpeg(const Image& image, const std::string& path, const SaveSettings& settings, std::string& error);
bool saveWebp(const Image& image, const std::string& path, const SaveSettings& settings, std::string& error);

// For loaders and savers: the file opened with fopen's mode, or null with the reason in error.
FILE* openFile(const std::string& path, const char* mode, std::string& error);

// For loaders: makes the top rows of an image being decoded exist, so that its memory grows
// with the rows that actually arrive. Returns the first sample; earlier pointers become invalid.
uint8_t* growRows(Image& image, int32_t rows);

// For savers of 8-bit formats: row y with 16-bit samples reduced to 8 bits (in scratch).
const uint8_t* eightBitRow(const Image& image, int32_t y, std::vector<uint8_t>& scratch);

inline bool rowsReady(const SaveSettings& settings, int32_t rows) {
    return !settings.rowsReady || settings.rowsReady(rows);
}
inline void leaveOut(const SaveSettings& settings, const std::string& what) {
    if (settings.leftOut) settings.leftOut(what);
}
inline bool stopAsked(const LoadSettings& settings) { return settings.stop && settings.stop(); }
// Loaders ask whether to stop at least this often.
constexpr int32_t kRowsBetweenStops = 16;

// For loaders: names something the file held that the image does not carry, once.
void noteNotCarried(Image& image, const std::string& what);

// For loaders, from the header: why a picture of width x height is not loaded (a side of 0 or
// past the host's largest, or more pixels than settings allow), or empty when it is.
std::string pictureSizeProblem(uint64_t width, uint64_t height, const LoadSettings& settings);

// For savers: whether an ICC profile describes images of the given number of colours (1 gray,
// 3 RGB); a profile too short to say counts as fitting.
bool profileFits(const std::vector<uint8_t>& profile, int32_t colours);

// For savers of formats whose colour information is an ICC profile only (TIFF, JPEG, WebP): the
// profile for the image written with the given number of colours, or empty for none. It is the
// image's own, else one made from its gamma and chromaticities; values declared sRGB need none,
// as readers take a file without a profile for sRGB. What cannot go in (a profile of other
// colours, the significant bits) is left out.
std::vector<uint8_t> profileToWrite(const Image& image, int32_t colours, const SaveSettings& settings);

// Alpha applied to the colour channels (as over black) or taken out of them again.
void premultiplyAlpha(Image& image);
void unpremultiplyAlpha(Image& image);

// Why an image cannot go into a file of the format, or empty when it can.
std::string saveProblem(const Image& image, FileFormat format);

constexpr const char* kUnknownFileType = "unknown file type (expected .png, .tif, .tiff, .jpg, .jpeg or .webp)";
constexpr const char* kAbandoned = "abandoned";
constexpr const char* kStopped = "stopped";
constexpr const char* kProfileMismatch = "the ICC profile, which is for other colours than the output's (gray or RGB)";

// The largest width or height the host's 16-bit rectangles can hold.
constexpr int32_t kMaxSide = 32767;
// The largest width or height of a WebP image.
constexpr int32_t kMaxWebpSide = 16383;

}  // namespace cli
