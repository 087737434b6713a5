// The command line of velorund: its two forms (INPUT OUTPUT, or INPUT... -o DIR), the options
// with their checked values, and the exit codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_file.h"

namespace cli {

constexpr int kExitFilterFailed = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitSignalBase = 128;  // plus the number of the signal that stopped the tool

struct Options {
    std::vector<std::string> inputs;
    std::string output;  // OUTPUT of the single form
    std::string folder;  // DIR of the batch form
    FileFormat format = FileFormat::Unknown;  // --format: the batch's output type
    bool hasRect = false;
    int32_t rect[4] = {};  // x, y, width, height
    std::string rectText;
    bool hasBackground = false;
    uint8_t background[3] = {};  // red, green, blue
    bool flat = false;
    bool force = false;
    bool quiet = false;
    bool verbose = false;
    int32_t threads = 0;  // threads the filter renders on; 0 for every one the system offers
    uint64_t maxPixels = kDefaultMaxPixels;  // --max-megapixels; 0: no limit
    SaveSettings save;

    bool batch() const { return !folder.empty(); }
};

// Fills options from the command line; returns -1 to go on, else the exit code (after printing
// the help, the version or what is wrong).
int parseOptions(int argc, char** argv, Options& options);

// A whole number from min to max: spaces around it and a sign before it are allowed, nothing
// else. False when the text is not such a number.
bool parseNumber(const std::string& text, int64_t min, int64_t max, int64_t& value);

}  // namespace cli
