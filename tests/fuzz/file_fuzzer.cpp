// Fuzz bytes as an image file through the command-line tool's loading: the format its leading
// bytes name (PNG, TIFF, JPEG, WebP), or one chosen by the input's length when they name none,
// written to a file of that type and loaded as the tool loads it, with a pixel limit of 2^18
// (512 x 512): every honest picture then fits the fuzzer's memory limit, which turns a file that
// lies about its size into a finding. The sanitizers catch memory faults.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_file.h"

static const char* extensionFor(const uint8_t* data, size_t size) {
    auto starts = [&](const char* magic, size_t length, size_t at = 0) {
        return size >= at + length && memcmp(data + at, magic, length) == 0;
    };
    if (starts("\x89PNG", 4)) return ".png";
    if (starts("II", 2) || starts("MM", 2)) return ".tif";
    if (starts("\xFF\xD8", 2)) return ".jpg";
    if (starts("RIFF", 4) && starts("WEBP", 4, 8)) return ".webp";
    static const char* const kAll[4] = {".png", ".tif", ".jpg", ".webp"};
    return kAll[size % 4];
}

// A folder of this process's own, whose name is as long in every run: the path's length must
// not change what the loaders' code does from run to run.
struct Folder {
    std::string path;
    Folder() {
        char pattern[] = "/tmp/velorund-file-fuzzer-XXXXXX";
        path = mkdtemp(pattern) ? pattern : "/tmp";
    }
    ~Folder() { rmdir(path.c_str()); }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Folder folder;
    const std::string path = folder.path + "/input" + extensionFor(data, size);
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return 0;
    fwrite(data, 1, size, file);
    fclose(file);
    cli::Image image;
    std::string error;
    cli::LoadSettings settings;
    settings.maxPixels = 1 << 18;
    cli::loadImage(path, image, error, settings);
    unlink(path.c_str());
    return 0;
}
