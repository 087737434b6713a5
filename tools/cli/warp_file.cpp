// The run of one file. The writer thread starts with the filter: the module renders rows from
// top to bottom, and once the host has stored its output from row r down the rows above r are
// final, so the writer encodes them while the rest is rendered. A failed or cancelled run, a
// failed write or a stop asked for by a signal removes the temporary file.
#include "warp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "run/dispatcher.h"
#include "hostapp/host.h"
#include "hostapp/run_failure.h"
#include "image_document.h"
#include "row_hand_over.h"

namespace cli {

std::atomic<int> stopSignal{0};

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file beside output, private until it is complete, with the permissions of any new file.
// Its name is .NAME.XXXXXX, with NAME cut short when the whole would be longer than a name can be.
std::string makeTemporary(const std::string& output, std::string& error) {
    constexpr size_t kAround = 8;  // the dot before NAME and the ".XXXXXX" after it
    std::string name = output.substr(output.rfind('/') + 1);
    if (name.size() + kAround > NAME_MAX) name.resize(NAME_MAX - kAround);
    std::string temp = folderOf(output) + "/." + name + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = strerror(errno);
        return "";
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return temp;
}

// What a run feeds: the bar, the rows the writer may take; and what cancels it: a stop asked
// for by a signal, or a failed write.
struct RunWatch {
    ProgressBar* bar;
    RowHandOver* rows;
    std::atomic<bool>* writeFailed;
};

void onProgress(void* context, int32_t done, int32_t total) {
    drawProgress(*static_cast<RunWatch*>(context)->bar, done, total);
}

bool onCancelPoll(void* context) { return stopSignal != 0 || static_cast<RunWatch*>(context)->writeFailed->load(); }

// Output is stored top to bottom: the rows above stored ones are final.
void onRowsCommitted(void* context, const Rect16& rows) { static_cast<RunWatch*>(context)->rows->publish(rows.top); }

}  // namespace

LoadSettings loadSettings(const Options& options) {
    return LoadSettings{options.maxPixels, [] { return stopSignal != 0; }};
}

std::string outputProblem(const std::string& output, bool force) {
    struct stat status;
    if (formatOf(output) == FileFormat::Unknown) return kUnknownFileType;
    if (stat(output.c_str(), &status) == 0 && !force) return "already exists (use --force to replace it)";
    std::string folder = folderOf(output);
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return "the folder " + folder + " does not exist";
    if (access(folder.c_str(), W_OK) != 0) return "the folder " + folder + " is not writable";
    return "";
}

int warpFile(Image& image, const std::string& input, const std::string& output, FileFormat format,
             const Options& options, ProgressBar& bar, Timings& timings) {
    // The rectangle must lie in the image.
    const int32_t* r = options.rect;
    if (options.hasRect && (r[2] > image.width - r[0] || r[3] > image.height - r[1]))
        return complain(&bar, input, "--rect " + options.rectText + " reaches outside the " +
                                         std::to_string(image.width) + " x " + std::to_string(image.height) + " image");

    // The document: flat when the output holds no alpha and no background is given, a layer
    // when composing over a background, with the rectangle as its selection. The image then
    // takes the output's layout.
    const uint8_t* background = options.hasBackground ? options.background : nullptr;
    hostapp::Document doc = documentOf(image, options.flat || (!holdsAlpha(format) && !background), background != nullptr);
    if (background && hasAlpha(image)) {
        image.channels--;
        image.samples.resize(sampleCount(image) * sampleBytes(image));
    }
    std::string problem = saveProblem(image, format);
    if (!problem.empty()) return complain(&bar, output, problem);
    if (options.hasRect) {
        doc.hasSelection = true;
        doc.selection = Rect16{static_cast<int16_t>(r[1]), static_cast<int16_t>(r[0]),
                               static_cast<int16_t>(r[1] + r[3]), static_cast<int16_t>(r[0] + r[2])};
    }

    // The writer, waiting for rows.
    std::string error;
    const std::string temp = makeTemporary(output, error);
    if (temp.empty()) return complain(&bar, output, error);
    std::atomic<bool> writeFailed{false};
    RowHandOver rows(image, doc, background, [&] { return stopSignal != 0 || writeFailed; });
    SaveSettings settings = options.save;
    settings.rowsReady = [&](int32_t count) { return rows.waitFor(count); };
    std::vector<std::string> notCarried = image.notCarried;  // the writer adds to it, read once it has ended
    settings.leftOut = [&](const std::string& what) { notCarried.push_back(what); };
    bool written = false;
    double writeEnd = 0;
    std::thread writer;
    try {
        writer = std::thread([&] {
            const double start = secondsNow();
            try {
                written = saveImage(image, temp, format, settings, error);
            } catch (const std::bad_alloc&) {
                error = "not enough memory to write the image";
            }
            writeEnd = secondsNow();
            timings.write = writeEnd - start - rows.secondsWaited();
            if (!written) writeFailed = true;
        });
    } catch (const std::system_error&) {
        // The system has no memory left for the writer's thread (its stack).
        unlink(temp.c_str());
        return complain(&bar, output, "not enough memory to start writing");
    }

    // The filter run, with the progress bar, and a stop or a failed write answered through
    // abortProc so that the module cancels its own run.
    const double start = secondsNow();
    hostapp::RunOutcome outcome;
    {
        RunWatch watch{&bar, &rows, &writeFailed};
        hostapp::InProcessHost host(PluginMain, {.context = &watch,
                                                 .progress = onProgress,
                                                 .cancelRequested = onCancelPoll,
                                                 .rowsCommitted = onRowsCommitted,
                                                 .inPlace = true});
        outcome = host.runFilter(doc);
    }
    const double filterEnd = secondsNow();
    timings.filter = filterEnd - start;
    const bool writerFailedFirst = writeFailed;  // and so cancelled the run
    const bool ran = stopSignal == 0 && outcome.result == kNoErr && !outcome.gaveUp;
    if (ran) rows.finish();
    else rows.abandon();
    writer.join();
    timings.writeAfter = std::max(0.0, writeEnd - filterEnd);

    // Only a complete file is renamed into place.
    int code = 0;
    if (stopSignal != 0) code = kExitSignalBase + stopSignal;
    else if (writerFailedFirst || (ran && !written)) code = complain(&bar, output, error);
    else if (!hostapp::runFailure(outcome).empty())
        code = complain(&bar, input, hostapp::runFailure(outcome), kExitFilterFailed);
    else if (rename(temp.c_str(), output.c_str()) != 0) code = complain(&bar, output, strerror(errno));
    if (code != 0) unlink(temp.c_str());
    if (code == 0 && !notCarried.empty()) {
        std::string list;
        for (const std::string& what : notCarried) list += (list.empty() ? "" : "; ") + what;
        complain(&bar, output, "warning: not carried over: " + list, 0);
    }
    return code;
}

std::string describe(const Timings& t) {
    char text[160];
    snprintf(text, sizeof text, "read %.2f s, filter %.2f s, write %.2f s (%.2f s after the filter)", t.read, t.filter,
             t.write, t.writeAfter);
    return text;
}

}  // namespace cli
