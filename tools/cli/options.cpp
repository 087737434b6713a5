// Command-line parsing: every value is checked for its range before it is used, so that no
// number wraps and no option is half taken.
#include "options.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "progress_bar.h"

namespace cli {

namespace {

const char* const kUsage =
    "Usage: velorund [options] INPUT OUTPUT\n"
    "       velorund [options] INPUT... -o DIR\n"
    "Warps a square into a circle: squeezes the image, or the rectangle given with --rect, into\n"
    "its inscribed disc (an ellipse when it is not square). Files are PNG (.png), TIFF (.tif,\n"
    ".tiff), JPEG (.jpg, .jpeg) or WebP (.webp), chosen by the extension. The output keeps the\n"
    "input's bit depth, channels, resolution, colour profile or PNG gamma, EXIF and XMP where its\n"
    "format holds them; the file's EXIF, TIFF or XMP orientation is applied first, so the picture\n"
    "is warped as it is shown. An image with alpha is warped as a layer with transparency, one\n"
    "without as a flat image on black; a JPEG has no alpha, so its outside is black (use PNG or\n"
    "WebP, or --background, for another outside).\n"
    "\n"
    "The second form warps every INPUT into the folder DIR under its own name, reports a file\n"
    "that fails on one line and goes on with the others.\n"
    "\n"
    "Examples:\n"
    "  velorund photo.jpg disc.jpg\n"
    "  velorund --background white photo.jpg disc.jpg\n"
    "  velorund --format png holiday/*.jpg -o discs\n"
    "\n"
    "Options:\n"
    "  -o DIR, --output-dir DIR\n"
    "                  write each INPUT into DIR (made when missing) under its own name\n"
    "  --format TYPE   with -o: write png, jpg, webp or tif files instead of the input's type\n"
    "  --rect X,Y,W,H  warp only this rectangle (left, top, width, height in pixels of the\n"
    "                  picture as shown, after its orientation); the rest is copied through\n"
    "  --background COLOR\n"
    "                  compose the result over COLOR (black, white, gray, red, green, blue,\n"
    "                  yellow, cyan, magenta, #rgb or #rrggbb) and write no alpha: the rim of the\n"
    "                  disc is anti-aliased against it\n"
    "  --flat          apply the alpha channel over black and drop it: warp a flat image\n"
    "  --quality Q     JPEG and lossy WebP quality, 1 to 100 (default 92)\n"
    "  --compression N zlib level 0 to 9 for PNG and deflate TIFF (default: level 6 with\n"
    "                  run-length matching, fast and small on photographs)\n"
    "  --max-megapixels N\n"
    "                  refuse a picture of more than N million pixels, as its file's header\n"
    "                  declares it, before decoding it (default 180; 0: no limit)\n"
    "  --threads N     render on N threads, 1 to 32 (default: every thread the system offers);\n"
    "                  the result is the same for every N\n"
    "  --force         replace OUTPUT if it exists\n"
    "  --quiet         show no progress bar\n"
    "  --verbose       print the time taken to read, filter and write each file\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 the filter failed, 2 bad input, options or output (with -o: some\n"
    "file failed), 128 + N stopped by signal N (130 Ctrl-C).\n";

// Past the largest picture the host takes (32767 x 32767), a limit limits nothing.
constexpr int64_t kMaxMegapixels = 1100;

struct NamedColour {
    const char* name;
    uint8_t rgb[3];
};

const NamedColour kColours[] = {
    {"black", {0, 0, 0}},     {"white", {255, 255, 255}}, {"gray", {128, 128, 128}}, {"grey", {128, 128, 128}},
    {"red", {255, 0, 0}},     {"green", {0, 128, 0}},     {"blue", {0, 0, 255}},     {"yellow", {255, 255, 0}},
    {"cyan", {0, 255, 255}},  {"magenta", {255, 0, 255}},
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// A colour name, #rgb or #rrggbb.
bool parseColour(const std::string& text, uint8_t rgb[3]) {
    for (const NamedColour& colour : kColours)
        if (strcasecmp(text.c_str(), colour.name) == 0) return memcpy(rgb, colour.rgb, 3), true;
    const size_t digits = text.size() - 1;
    if (text.empty() || text[0] != '#' || (digits != 3 && digits != 6)) return false;
    for (size_t c = 0; c < 3; c++) {
        int high = hexDigit(text[1 + c * digits / 3]), low = hexDigit(text[digits / 3 * (c + 1)]);
        if (high < 0 || low < 0) return false;
        rgb[c] = static_cast<uint8_t>(16 * high + low);
    }
    return true;
}

// X,Y,W,H: the rectangle must start inside the largest image and be at least a pixel.
bool parseRect(const std::string& text, int32_t rect[4]) {
    size_t start = 0;
    for (int32_t i = 0; i < 4; i++) {
        size_t comma = i < 3 ? text.find(',', start) : text.size();
        if (comma == std::string::npos) return false;
        int64_t value;
        if (!parseNumber(text.substr(start, comma - start), i < 2 ? 0 : 1, i < 2 ? kMaxSide - 1 : kMaxSide, value))
            return false;
        rect[i] = static_cast<int32_t>(value);
        start = comma + 1;
    }
    return true;
}

FileFormat parseFormat(const std::string& text) {
    FileFormat format = formatOf("." + text);
    return text.find_first_of("./") == std::string::npos ? format : FileFormat::Unknown;
}

}  // namespace

bool parseNumber(const std::string& text, int64_t min, int64_t max, int64_t& value) {
    size_t i = 0;
    auto skipSpaces = [&] {
        while (i < text.size() && text[i] == ' ') i++;
    };
    skipSpaces();
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) i++;
    const size_t digits = i;
    // Past the largest range there is no need to count on: the number is out of it.
    int64_t magnitude = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); i++)
        magnitude = std::min<int64_t>(magnitude * 10 + (text[i] - '0'), int64_t{1} << 40);
    if (i == digits) return false;
    skipSpaces();
    value = negative ? -magnitude : magnitude;
    return i == text.size() && value >= min && value <= max;
}

int parseOptions(int argc, char** argv, Options& options) {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        // The value of an option given as --name VALUE or --name=VALUE.
        std::string value;
        auto takes = [&](const char* name) {
            const std::string prefix = std::string(name) + "=";
            if (arg.rfind(prefix, 0) == 0) return value = arg.substr(prefix.size()), true;
            if (arg != name) return false;
            value = i + 1 < argc ? argv[++i] : "";
            return true;
        };
        int64_t number = 0;
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            printf("velorund %s\n", VELORUND_VERSION);
            return 0;
        } else if (takes("--rect")) {
            if (!parseRect(value, options.rect))
                return complain(nullptr, "--rect", "'" + value + "' is not X,Y,W,H: whole numbers, the left and top from 0, the width and height from 1, all below 32768");
            options.hasRect = true;
            options.rectText = value;
        } else if (takes("--background")) {
            if (!parseColour(value, options.background))
                return complain(nullptr, "--background", "'" + value + "' is not a colour name, #rgb or #rrggbb");
            options.hasBackground = true;
        } else if (takes("--quality")) {
            if (!parseNumber(value, 1, 100, number))
                return complain(nullptr, "--quality", "'" + value + "' is not a whole number from 1 to 100");
            options.save.quality = static_cast<int32_t>(number);
        } else if (takes("--compression")) {
            if (!parseNumber(value, 0, 9, number))
                return complain(nullptr, "--compression", "'" + value + "' is not a zlib level from 0 to 9");
            options.save.compression = static_cast<int32_t>(number);
        } else if (takes("--max-megapixels")) {
            if (!parseNumber(value, 0, kMaxMegapixels, number))
                return complain(nullptr, "--max-megapixels",
                                "'" + value + "' is not a whole number from 0 (no limit) to " + std::to_string(kMaxMegapixels));
            options.maxPixels = static_cast<uint64_t>(number) * 1'000'000;
        } else if (takes("--threads")) {
            if (!parseNumber(value, 1, 32, number))
                return complain(nullptr, "--threads", "'" + value + "' is not a whole number from 1 to 32");
            options.threads = static_cast<int32_t>(number);
        } else if (takes("--format")) {
            options.format = parseFormat(value);
            if (options.format == FileFormat::Unknown)
                return complain(nullptr, "--format", "'" + value + "' is not png, jpg, webp or tif");
        } else if (takes("-o") || takes("--output-dir")) {
            if (value.empty()) return complain(nullptr, arg, "needs a folder");
            options.folder = value;
        } else if (arg == "--flat") {
            options.flat = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else {
            return complain(nullptr, arg, "unknown option (see velorund --help)");
        }
    }

    // The two forms.
    if (options.batch()) {
        if (positional.empty()) return complain(nullptr, "usage", "velorund [options] INPUT... -o DIR (see velorund --help)");
        options.inputs = positional;
        return -1;
    }
    if (options.format != FileFormat::Unknown)
        return complain(nullptr, "--format", "goes with -o DIR; the type of OUTPUT is its extension");
    if (positional.size() > 2) return complain(nullptr, "usage", "too many file names (to warp several, use -o DIR; see velorund --help)");
    if (positional.size() < 2) return complain(nullptr, "usage", "velorund [options] INPUT OUTPUT (see velorund --help)");
    options.inputs = {positional[0]};
    options.output = positional[1];
    return -1;
}

}  // namespace cli
