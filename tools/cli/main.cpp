// velorund: warps a PNG or TIFF file through the module without a photo editor. It loads the
// file into a document of the in-process host, runs the filter through the module's entry point
// as a host does, and saves the result beside OUTPUT under a temporary name, renaming it into
// place only when it is complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "run/dispatcher.h"
#include "hostapp/host.h"
#include "hostapp/run_failure.h"
#include "image_document.h"
#include "image_file.h"

using namespace cli;

namespace {

constexpr int kExitFilterFailed = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitCancelled = 130;

const char* const kUsage =
    "Usage: velorund [options] INPUT OUTPUT\n"
    "Warps a square into a circle: squeezes the image, or the rectangle given with --rect, into\n"
    "its inscribed disc (an ellipse when it is not square). INPUT and OUTPUT are PNG (.png) or\n"
    "TIFF (.tif, .tiff) files; OUTPUT keeps INPUT's bit depth, channels, resolution and colour\n"
    "profile. An image with alpha is warped as a layer with transparency, one without as a flat\n"
    "image on black.\n"
    "\n"
    "Options:\n"
    "  --rect X,Y,W,H  warp only this rectangle (left, top, width, height in pixels); the rest of\n"
    "                  the image is copied through unchanged\n"
    "  --flat          apply the alpha channel over black and drop it: warp a flat image\n"
    "  --force         replace OUTPUT if it exists\n"
    "  --quiet         show no progress bar\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 the filter failed, 2 bad input, options or output, 130 cancelled.\n";

struct Options {
    std::string input;
    std::string output;
    bool hasRect = false;
    int32_t rect[4] = {};  // x, y, width, height
    std::string rectText;
    bool flat = false;
    bool force = false;
    bool quiet = false;
};

volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

int fail(const std::string& subject, const std::string& reason, int code = kExitBadInput) {
    fprintf(stderr, "velorund: %s: %s\n", subject.c_str(), reason.c_str());
    return code;
}

bool parseRect(const char* text, int32_t rect[4]) {
    int used = 0;
    if (sscanf(text, "%d,%d,%d,%d%n", &rect[0], &rect[1], &rect[2], &rect[3], &used) != 4 || text[used] != '\0')
        return false;
    return rect[0] >= 0 && rect[1] >= 0 && rect[2] > 0 && rect[3] > 0;
}

// Fills options from the command line; returns -1 to go on, else the exit code.
int parseOptions(int argc, char** argv, Options& options) {
    std::string positional[2];
    int count = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (count == 2) return fail("usage", "too many file names (see velorund --help)");
            positional[count++] = arg;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            printf("velorund %s\n", VELORUND_VERSION);
            return 0;
        } else if (arg == "--rect" || arg.rfind("--rect=", 0) == 0) {
            const char* value = arg == "--rect" ? (i + 1 < argc ? argv[++i] : "") : argv[i] + 7;
            if (!parseRect(value, options.rect))
                return fail("--rect", std::string("'") + value + "' is not X,Y,W,H with a positive width and height");
            options.hasRect = true;
            options.rectText = value;
        } else if (arg == "--flat") {
            options.flat = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else {
            return fail(arg, "unknown option (see velorund --help)");
        }
    }
    if (count < 2) return fail("usage", "velorund [options] INPUT OUTPUT (see velorund --help)");
    options.input = positional[0];
    options.output = positional[1];
    return -1;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Why OUTPUT cannot be written, or empty when it can.
std::string outputProblem(const Options& options) {
    struct stat status;
    if (formatOf(options.output) == FileFormat::Unknown) return kUnknownFileType;
    if (stat(options.output.c_str(), &status) == 0 && !options.force)
        return "already exists (use --force to replace it)";
    std::string folder = folderOf(options.output);
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return "the folder " + folder + " does not exist";
    if (access(folder.c_str(), W_OK) != 0) return "the folder " + folder + " is not writable";
    return "";
}

// The progress bar on a terminal, redrawn when the whole percentage changes.
struct ProgressBar {
    int32_t shownPercent = -1;
};

void drawProgress(void* context, int32_t done, int32_t total) {
    ProgressBar* bar = static_cast<ProgressBar*>(context);
    if (total <= 0) return;
    int32_t percent = static_cast<int32_t>(100LL * std::min(done, total) / total);
    if (percent == bar->shownPercent) return;
    bar->shownPercent = percent;
    constexpr int32_t kWidth = 40;
    char cells[kWidth + 1];
    for (int32_t i = 0; i < kWidth; i++) cells[i] = i < percent * kWidth / 100 ? '#' : '.';
    cells[kWidth] = '\0';
    fprintf(stderr, "\rvelorund: warping [%s] %3d%%", cells, percent);
    fflush(stderr);
}

void clearProgress(const ProgressBar& bar) {
    if (bar.shownPercent >= 0) fputs("\r\033[K", stderr);
}

// Saves under a temporary name beside the output and renames it into place; the temporary
// file is removed on any failure or a cancel that arrives meanwhile.
int writeOutput(const Image& image, const Options& options) {
    std::string name = options.output.substr(options.output.rfind('/') + 1);
    std::string temp = folderOf(options.output) + "/." + name + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return fail(options.output, strerror(errno));
    // mkstemp makes the file private; give it the permissions of any new file.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);

    std::string error;
    int code = 0;
    if (!saveImage(image, temp, formatOf(options.output), error)) code = fail(options.output, error);
    else if (interrupted) code = kExitCancelled;
    else if (rename(temp.c_str(), options.output.c_str()) != 0) code = fail(options.output, strerror(errno));
    if (code != 0) unlink(temp.c_str());
    return code;
}

int run(const Options& options) {
    // The output's place, then the input.
    std::string problem = outputProblem(options);
    if (!problem.empty()) return fail(options.output, problem);
    Image image;
    std::string error;
    if (!loadImage(options.input, image, error)) return fail(options.input, error);
    problem = saveProblem(image, formatOf(options.output));
    if (!problem.empty()) return fail(options.output, problem);
    const int32_t* r = options.rect;
    if (options.hasRect && (r[2] > image.width - r[0] || r[3] > image.height - r[1]))
        return fail(options.input, "--rect " + options.rectText + " reaches outside the " + std::to_string(image.width) +
                                       " x " + std::to_string(image.height) + " image");

    // The document, with the rectangle as its selection.
    hostapp::Document doc = documentOf(image, options.flat);
    if (options.hasRect) {
        doc.hasSelection = true;
        doc.selection = Rect16{static_cast<int16_t>(r[1]), static_cast<int16_t>(r[0]),
                               static_cast<int16_t>(r[1] + r[3]), static_cast<int16_t>(r[0] + r[2])};
    }

    // The filter run, with the progress bar and Ctrl-C answered through abortProc.
    ProgressBar bar;
    hostapp::HostSettings settings;
    if (!options.quiet && isatty(STDERR_FILENO)) {
        settings.onProgress = drawProgress;
        settings.progressContext = &bar;
    }
    settings.cancelRequested = [](void*) { return interrupted != 0; };
    hostapp::RunOutcome outcome;
    {
        hostapp::InProcessHost host(PluginMain, settings);
        outcome = host.runFilter(doc);
    }
    clearProgress(bar);

    // A cancelled or failed run leaves unwritten samples in the document: nothing is saved then.
    if (interrupted || outcome.result == kUserCanceledErr) return kExitCancelled;
    std::string failure = hostapp::runFailure(outcome);
    if (!failure.empty()) return fail(options.input, failure, kExitFilterFailed);
    takeSamples(image, doc);
    return writeOutput(image, options);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int code = parseOptions(argc, argv, options);
    if (code >= 0) return code;

    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);

    try {
        code = run(options);
    } catch (const std::bad_alloc&) {
        code = fail(options.input, "not enough memory for the image");
    }
    if (code == kExitCancelled && !options.quiet) fputs("velorund: cancelled, nothing written\n", stderr);
    return code;
}
