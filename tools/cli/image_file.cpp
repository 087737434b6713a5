// Dispatch of image loading and saving by the file name's extension, and what the formats
// share: the checks, the upright turn after loading, the growth of an image's rows while it is
// decoded, 16-bit rows for 8-bit files, and alpha premultiplication.
#include "image_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "colour_profile.h"
#include "metadata.h"
#include "orientation.h"

namespace cli {

size_t sampleCount(const Image& image) {
    return static_cast<size_t>(image.width) * image.height * image.channels;
}

FileFormat formatOf(const std::string& path) {
    size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.') return FileFormat::Unknown;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "png") return FileFormat::Png;
    if (ext == "tif" || ext == "tiff") return FileFormat::Tiff;
    if (ext == "jpg" || ext == "jpeg") return FileFormat::Jpeg;
    if (ext == "webp") return FileFormat::Webp;
    return FileFormat::Unknown;
}

const char* extensionOf(FileFormat format) {
    switch (format) {
        case FileFormat::Png: return ".png";
        case FileFormat::Tiff: return ".tif";
        case FileFormat::Jpeg: return ".jpg";
        case FileFormat::Webp: return ".webp";
        case FileFormat::Unknown: break;
    }
    return "";
}

bool holdsAlpha(FileFormat format) { return format != FileFormat::Jpeg; }

bool loadImage(const std::string& path, Image& image, std::string& error, const LoadSettings& settings) {
    // Only a regular file is opened: a FIFO or a device could block or never end.
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        error = strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? "is a folder" : "is not a regular file";
        return false;
    }
    bool loaded = false;
    switch (formatOf(path)) {
        case FileFormat::Png: loaded = loadPng(path, image, error, settings); break;
        case FileFormat::Tiff: loaded = loadTiff(path, image, error, settings); break;
        case FileFormat::Jpeg: loaded = loadJpeg(path, image, error, settings); break;
        case FileFormat::Webp: loaded = loadWebp(path, image, error, settings); break;
        case FileFormat::Unknown: error = kUnknownFileType; break;
    }
    if (!loaded) return false;
    // The orientation: a TIFF's tag, else EXIF's, else XMP's, which some programs write alone.
    if (image.orientation == 0) image.orientation = exifOrientation(image.exif);
    if (image.orientation == 0) image.orientation = xmpOrientation(image.xmp);
    if (!turnUpright(image, settings.stop)) {
        error = kStopped;
        return false;
    }
    return true;
}

std::string pictureSizeProblem(uint64_t width, uint64_t height, const LoadSettings& settings) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width == 0 || height == 0) return size + " is not a size the filter takes (1 to 32767 on a side)";
    if (width > kMaxSide || height > kMaxSide) return size + " is too large: the filter takes at most 32767 on a side";
    if (settings.maxPixels > 0 && width * height > settings.maxPixels) {
        // The picture's megapixels rounded up, so that it never looks within the limit.
        return size + " (" + std::to_string((width * height + 999'999) / 1'000'000) + " megapixels) is more than the limit of " +
               std::to_string((settings.maxPixels + 500'000) / 1'000'000) + " megapixels (--max-megapixels N raises it, 0 lifts it)";
    }
    return "";
}

void noteNotCarried(Image& image, const std::string& what) {
    if (std::find(image.notCarried.begin(), image.notCarried.end(), what) == image.notCarried.end())
        image.notCarried.push_back(what);
}

bool profileFits(const std::vector<uint8_t>& profile, int32_t colours) {
    if (profile.size() < 20) return true;
    const std::string space(profile.begin() + 16, profile.begin() + 20);
    return space == (colours == 1 ? "GRAY" : "RGB ");
}

std::vector<uint8_t> profileToWrite(const Image& image, int32_t colours, const SaveSettings& settings) {
    if (hasSignificantBits(image.colour)) leaveOut(settings, "the PNG sBIT chunk");
    if (!image.iccProfile.empty()) {
        if (profileFits(image.iccProfile, colours)) return image.iccProfile;
        leaveOut(settings, kProfileMismatch);
        return {};
    }
    if (image.colour.srgbIntent >= 0) return {};
    std::vector<uint8_t> made = profileFromEncoding(image.colour, colours);
    if (made.empty() && (image.colour.gamma > 0 || hasChromaticities(image.colour)))
        leaveOut(settings, "the PNG gamma and chromaticities, which make no colour profile");
    return made;
}

bool saveImage(const Image& image, const std::string& path, FileFormat format, const SaveSettings& settings,
               std::string& error) {
    switch (format) {
        case FileFormat::Png: return savePng(image, path, settings, error);
        case FileFormat::Jpeg: return saveJpeg(image, path, settings, error);
        case FileFormat::Webp: return saveWebp(image, path, settings, error);
        case FileFormat::Tiff:
        case FileFormat::Unknown: break;
    }
    return saveTiff(image, path, settings, error);
}

FILE* openFile(const std::string& path, const char* mode, std::string& error) {
    FILE* file = fopen(path.c_str(), mode);
    if (!file) error = strerror(errno);
    return file;
}

uint8_t* growRows(Image& image, int32_t rows) {
    const size_t needed = rowBytes(image) * static_cast<size_t>(rows);
    if (needed > image.samples.capacity())
        image.samples.reserve(std::min(rowBytes(image) * image.height, std::max(needed, 2 * image.samples.capacity())));
    if (needed > image.samples.size()) image.samples.resize(needed);
    return image.samples.data();
}

const uint8_t* eightBitRow(const Image& image, int32_t y, std::vector<uint8_t>& scratch) {
    const uint8_t* row = image.samples.data() + rowBytes(image) * y;
    if (image.bits == 8) return row;
    const size_t count = static_cast<size_t>(image.width) * image.channels;
    scratch.resize(count);
    for (size_t i = 0; i < count; i++) {
        uint16_t v;
        memcpy(&v, row + 2 * i, 2);
        scratch[i] = static_cast<uint8_t>((v * 255u + 32767u) / 65535u);
    }
    return scratch.data();
}

// Samples as numbers on the image's own scale (0..255, 0..65535 or float), and the full value.
static double sampleAt(const Image& image, size_t index) {
    const uint8_t* p = image.samples.data() + index * sampleBytes(image);
    if (image.bits == 8) return *p;
    uint16_t v16;
    float v32;
    if (image.bits == 16) return memcpy(&v16, p, 2), v16;
    return memcpy(&v32, p, 4), v32;
}

static void setSampleAt(Image& image, size_t index, double value) {
    uint8_t* p = image.samples.data() + index * sampleBytes(image);
    if (image.bits == 8) *p = static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
    uint16_t v16 = static_cast<uint16_t>(std::lround(std::clamp(value, 0.0, 65535.0)));
    float v32 = static_cast<float>(value);
    if (image.bits == 16) memcpy(p, &v16, 2);
    if (image.bits == 32) memcpy(p, &v32, 4);
}

static double fullValue(const Image& image) { return image.bits == 8 ? 255.0 : image.bits == 16 ? 65535.0 : 1.0; }

// Scales every colour sample by the pixel's alpha, or divides by it (a transparent pixel's
// colour becomes 0; integer results are clamped to the full value).
static void scaleByAlpha(Image& image, bool divide) {
    if (!hasAlpha(image)) return;
    const double full = fullValue(image);
    const int32_t colours = image.channels - 1;
    for (size_t pixel = 0; pixel < sampleCount(image); pixel += image.channels) {
        double alpha = sampleAt(image, pixel + colours) / full;
        for (int32_t c = 0; c < colours; c++) {
            double value = sampleAt(image, pixel + c);
            setSampleAt(image, pixel + c, divide ? (alpha > 0 ? value / alpha : 0.0) : value * alpha);
        }
    }
}

void premultiplyAlpha(Image& image) { scaleByAlpha(image, false); }
void unpremultiplyAlpha(Image& image) { scaleByAlpha(image, true); }

std::string saveProblem(const Image& image, FileFormat format) {
    static const char* const names[] = {"", "PNG", "TIFF", "JPEG", "WebP"};
    const std::string name = names[static_cast<int>(format)];
    if (format != FileFormat::Tiff && image.bits == 32) return name + " cannot hold 32-bit float samples";
    if (format == FileFormat::Jpeg && hasAlpha(image)) return "JPEG cannot hold alpha";
    if (format == FileFormat::Webp && (image.width > kMaxWebpSide || image.height > kMaxWebpSide))
        return "WebP holds at most " + std::to_string(kMaxWebpSide) + " pixels on a side";
    return "";
}

}  // namespace cli
