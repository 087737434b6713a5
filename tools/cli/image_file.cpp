// Dispatch of image loading and saving by the file name's extension, and the checks shared by
// both formats.
#include "image_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

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
    return FileFormat::Unknown;
}

bool loadImage(const std::string& path, Image& image, std::string& error) {
    struct stat status;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        error = strerror(errno);
        return false;
    }
    bool folder = fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
    fclose(file);
    if (folder) {
        error = "is a folder";
        return false;
    }
    switch (formatOf(path)) {
        case FileFormat::Png: return loadPng(path, image, error);
        case FileFormat::Tiff: return loadTiff(path, image, error);
        case FileFormat::Unknown: break;
    }
    error = kUnknownFileType;
    return false;
}

bool saveImage(const Image& image, const std::string& path, FileFormat format, std::string& error) {
    if (format == FileFormat::Png) return savePng(image, path, error);
    return saveTiff(image, path, error);
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
    if (format == FileFormat::Png && image.bits == 32) return "PNG cannot hold 32-bit float samples";
    return "";
}

}  // namespace cli
