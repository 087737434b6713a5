// Image files for the command-line tool: a decoded image held in memory, and its loading and
// saving as PNG or TIFF (chosen by the file name's extension) through libpng and libtiff.
// Failures come back as one-line reasons, without the file name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

enum class FileFormat { Unknown, Png, Tiff };

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

// Channels 1 gray, 2 gray + alpha, 3 RGB, 4 RGBA, interleaved pixel by pixel in native byte
// order: 8 bits, 16 bits (0..65535) or 32-bit float (1.0 full) per sample. Alpha is never
// premultiplied here.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    int32_t bits = 8;
    std::vector<uint8_t> samples;
    double xResolution = 0;  // pixels per unit, 0 when the file gives none; with unit None
    double yResolution = 0;  // only their ratio, the pixel aspect, is known
    ResolutionUnit resolutionUnit = ResolutionUnit::None;
    std::vector<uint8_t> iccProfile;
    TiffLayout tiff;
};

inline bool hasAlpha(const Image& image) { return image.channels % 2 == 0; }
inline int32_t sampleBytes(const Image& image) { return image.bits / 8; }
size_t sampleCount(const Image& image);

FileFormat formatOf(const std::string& path);  // by extension, ignoring case

// Each returns true on success, or false with the reason in error.
bool loadImage(const std::string& path, Image& image, std::string& error);
bool saveImage(const Image& image, const std::string& path, FileFormat format, std::string& error);

bool loadPng(const std::string& path, Image& image, std::string& error);
bool savePng(const Image& image, const std::string& path, std::string& error);
bool loadTiff(const std::string& path, Image& image, std::string& error);
bool saveTiff(const Image& image, const std::string& path, std::string& error);

// Alpha applied to the colour channels (as over black) or taken out of them again.
void premultiplyAlpha(Image& image);
void unpremultiplyAlpha(Image& image);

// Why an image cannot go into a PNG or TIFF file, or empty when it can.
std::string saveProblem(const Image& image, FileFormat format);

constexpr const char* kUnknownFileType = "unknown file type (expected .png, .tif or .tiff)";

// The largest width or height the host's 16-bit rectangles can hold.
constexpr int32_t kMaxSide = 32767;

}  // namespace cli
