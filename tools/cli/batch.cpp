// The batch: every output path is decided first, and a batch that would replace one of its own
// inputs is refused before anything is written. While one file is in the filter, the next is
// read on another thread; the writer of each file runs beside its filter (see warp_file.cpp).
// One progress bar covers the batch.
#include "batch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <map>
#include <new>
#include <set>
#include <utility>

#include "warp_file.h"

namespace cli {

namespace {

struct Loaded {
    Image image;
    bool ok = false;
    std::string error;
    double seconds = 0;
};

Loaded load(const std::string& path, const LoadSettings& settings) {
    Loaded loaded;
    const double start = secondsNow();
    try {
        loaded.ok = loadImage(path, loaded.image, loaded.error, settings);
    } catch (const std::bad_alloc&) {
        loaded.image = Image{};
        loaded.error = "not enough memory for the image";
    }
    loaded.seconds = secondsNow() - start;
    return loaded;
}

// DIR/NAME with the input's extension, or the one --format gives.
std::string outputPathFor(const std::string& input, const Options& options) {
    const std::string name = input.substr(input.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = options.format != FileFormat::Unknown ? extensionOf(options.format)
                                  : dot == std::string::npos || dot == 0 ? ""
                                                                        : name.substr(dot);
    return options.folder + "/" + stem + extension;
}

// Makes the folder when it is missing; why it cannot take the outputs, or empty.
std::string folderProblem(const std::string& folder) {
    struct stat status;
    if (stat(folder.c_str(), &status) != 0 && mkdir(folder.c_str(), 0777) != 0) return strerror(errno);
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return "is not a folder";
    if (access(folder.c_str(), W_OK) != 0) return "is not writable";
    return "";
}

// Complains about every output that is one of the inputs (by identity: the same file under its
// own name, a link or another path) and returns how many are.
int outputsThatAreInputs(const Options& options, const std::vector<std::string>& outputs) {
    std::map<std::pair<dev_t, ino_t>, std::string> inputs;
    struct stat status;
    for (const std::string& input : options.inputs)
        if (stat(input.c_str(), &status) == 0) inputs.emplace(std::pair{status.st_dev, status.st_ino}, input);
    int clashes = 0;
    for (const std::string& output : std::set<std::string>(outputs.begin(), outputs.end())) {
        if (stat(output.c_str(), &status) != 0) continue;
        auto input = inputs.find({status.st_dev, status.st_ino});
        if (input != inputs.end())
            clashes++, complain(nullptr, output, "is the input " + input->second + ": the batch would replace it (nothing written)");
    }
    return clashes;
}

}  // namespace

int warpBatch(const Options& options) {
    std::string problem = folderProblem(options.folder);
    if (!problem.empty()) return complain(nullptr, options.folder, problem);
    // Every output is decided before anything is written, and none may replace an input.
    std::vector<std::string> outputPaths;
    for (const std::string& input : options.inputs) outputPaths.push_back(outputPathFor(input, options));
    if (outputsThatAreInputs(options, outputPaths) > 0) return kExitBadInput;

    ProgressBar bar;
    bar.shown = !options.quiet && isatty(STDERR_FILENO);
    bar.fileCount = static_cast<int32_t>(options.inputs.size());
    std::set<std::string> outputs;
    int32_t written = 0;
    int code = 0;
    const LoadSettings settings = loadSettings(options);
    std::future<Loaded> next = std::async(std::launch::async, load, options.inputs[0], settings);
    for (size_t i = 0; i < options.inputs.size() && code < kExitSignalBase; i++) {
        // This file, as read beside the previous one's run; the next one starts reading.
        const std::string& input = options.inputs[i];
        Loaded current = next.get();
        if (i + 1 < options.inputs.size()) next = std::async(std::launch::async, load, options.inputs[i + 1], settings);
        if (stopSignal != 0) {
            code = kExitSignalBase + stopSignal;
            break;
        }
        bar.fileIndex = static_cast<int32_t>(i);

        const std::string& output = outputPaths[i];
        problem = outputs.insert(output).second ? outputProblem(output, options.force)
                                                : "is also the output of an earlier input";
        int fileCode = 0;
        Timings timings;
        timings.read = current.seconds;
        if (!current.ok) fileCode = complain(&bar, input, current.error);
        else if (!problem.empty()) fileCode = complain(&bar, output, problem);
        else fileCode = warpFile(current.image, input, output, formatOf(output), options, bar, timings);

        if (fileCode == 0) written++;
        if (fileCode == 0 && options.verbose) complain(&bar, output, describe(timings), 0);
        code = fileCode >= kExitSignalBase ? fileCode : fileCode != 0 ? kExitBadInput : code;
    }
    clearProgress(bar);
    if (!options.quiet && code != 0)
        fprintf(stderr, "velorund: %s%d of %zu files written\n", code >= kExitSignalBase ? "stopped: " : "",
                written, options.inputs.size());
    return code;
}

}  // namespace cli
