// The GIMP plug-in in real GIMP: gimp-console-2.10 loads images in batch mode, runs
// plug-in-velorund non-interactively through a Script-Fu script and exports the results, which
// must equal the command-line tool's output on the same files sample for sample. GIMP runs once
// for all cases, with a private configuration folder in the build tree that holds the plug-in.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "image_file.h"

namespace fs = std::filesystem;
using cli::Image;

namespace {

const std::string kWork = VELORUND_GIMP_WORK_DIR;

std::string path(const std::string& name) { return kWork + "/" + name; }

std::string readFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a program with GIMP's configuration folder set to the private one, its output into
// log; returns its exit code.
int runProgram(std::vector<std::string> args, const std::string& log) {
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(log.c_str(), "w", stdout) || dup2(STDOUT_FILENO, STDERR_FILENO) < 0) _exit(127);
        setenv("GIMP2_DIRECTORY", path("gimp-home").c_str(), 1);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The inputs: smooth ramps, a fine checker and hashed noise in every channel, so that both the
// filtering and every low bit show; with alpha, a ramp from opaque to fully transparent.
Image testImage(int32_t width, int32_t height, int32_t channels, int32_t bits) {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.bits = bits;
    image.samples.resize(cli::sampleCount(image) * static_cast<size_t>(bits / 8));
    size_t i = 0;
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++)
            for (int32_t c = 0; c < channels; c++, i++) {
                uint32_t hash = (x * 73856093u) ^ (y * 19349663u) ^ (c * 83492791u);
                double v = 0.6 * (c % 2 ? x : y) / width + 0.25 * (((x / 4) + (y / 4) + c) % 2) + (hash % 997) / 9970.0;
                if (cli::hasAlpha(image) && c == channels - 1) v = std::clamp(1.4 - 1.8 * x / width, 0.0, 1.0);
                if (bits == 8) image.samples[i] = static_cast<uint8_t>(std::lround(v * 255));
                if (bits == 16) {
                    uint16_t s = static_cast<uint16_t>(std::lround(v * 65535));
                    memcpy(&image.samples[2 * i], &s, 2);
                }
                if (bits == 32) {
                    float f = static_cast<float>(v);
                    memcpy(&image.samples[4 * i], &f, 4);
                }
            }
    return image;
}

Image load(const std::string& file) {
    Image image;
    std::string error;
    EXPECT_TRUE(cli::loadImage(file, image, error)) << file << ": " << error;
    return image;
}

// The command-line tool's output for an input, with its options.
Image toolResult(const std::string& input, std::vector<std::string> options, const std::string& output) {
    options.insert(options.begin(), VELORUND_EXECUTABLE);
    options.insert(options.end(), {"--quiet", "--force", path(input), path(output)});
    EXPECT_EQ(runProgram(options, path(output + ".log")), 0) << readFile(path(output + ".log"));
    return load(path(output));
}

bool sameLayout(const Image& a, const Image& b) {
    return a.width == b.width && a.height == b.height && a.channels == b.channels && a.bits == b.bits;
}

double sample(const Image& image, size_t index) {
    const uint8_t* p = image.samples.data() + index * static_cast<size_t>(image.bits / 8);
    if (image.bits == 8) return *p;
    if (image.bits == 16) {
        uint16_t v;
        memcpy(&v, p, 2);
        return v;
    }
    float f;
    memcpy(&f, p, 4);
    return f;
}

// The cases: the input, the tool's options and the Script-Fu call that makes GIMP's result.
struct Case {
    const char* name;
    const char* input;
    std::vector<std::string> toolOptions;
    std::string batch;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = [] {
        std::vector<Case> list = {
            {"rgb8", "rgb8.png", {}, ""},
            {"rgba8", "rgba8.png", {}, ""},
            {"rgb16", "rgb16.png", {}, ""},
            {"gray32f", "gray32f.tif", {}, ""},
            {"rectangle", "rgba8.png", {"--rect", "23,9,61,50"}, ""},
        };
        for (Case& c : list) {
            std::string in = path(c.input);
            std::string out = path(std::string("gimp-") + c.name + fs::path(c.input).extension().string());
            c.batch = c.toolOptions.empty() ? "(velorund-warp \"" + in + "\" \"" + out + "\")"
                                            : "(velorund-warp-rectangle \"" + in + "\" \"" + out + "\" 23 9 61 50)";
        }
        return list;
    }();
    return all;
}

constexpr int32_t kEllipse[4] = {17, 11, 70, 55};  // x, y, width, height

// GIMP's one run over every case, and what it printed.
std::string batchLog;

class GimpBatch : public ::testing::Environment {
public:
    void SetUp() override {
        // A fresh work folder with the inputs and a private GIMP configuration.
        fs::remove_all(kWork);
        fs::create_directories(path("gimp-home/gradients"));
        ASSERT_TRUE(cli::saveImage(testImage(101, 77, 3, 8), path("rgb8.png"), cli::FileFormat::Png, batchLog));
        ASSERT_TRUE(cli::saveImage(testImage(101, 77, 4, 8), path("rgba8.png"), cli::FileFormat::Png, batchLog));
        ASSERT_TRUE(cli::saveImage(testImage(101, 77, 3, 16), path("rgb16.png"), cli::FileFormat::Png, batchLog));
        ASSERT_TRUE(cli::saveImage(testImage(101, 77, 1, 32), path("gray32f.tif"), cli::FileFormat::Tiff, batchLog));

        // The plug-in installed as a user installs it.
        ASSERT_EQ(runProgram({GIMPTOOL, "--install-bin", VELORUND_GIMP_PLUGIN}, path("install.log")), 0)
            << readFile(path("install.log"));

        // One batch command per case, so that a failing case does not stop the others.
        std::vector<std::string> args = {GIMP_CONSOLE, "-i", "-d", "-f", "--batch-interpreter", "plug-in-script-fu-eval"};
        auto batch = [&](const std::string& call) {
            args.insert(args.end(), {"-b", "(begin (load \"" VELORUND_GIMP_SCRIPT "\") " + call + ")"});
        };
        for (const Case& c : cases()) batch(c.batch);
        batch("(velorund-warp-ellipse \"" + path("rgb8.png") + "\" \"" + path("gimp-ellipse.png") + "\" \"" +
              path("gimp-ellipse-mask.png") + "\" " + std::to_string(kEllipse[0]) + " " + std::to_string(kEllipse[1]) +
              " " + std::to_string(kEllipse[2]) + " " + std::to_string(kEllipse[3]) + ")");
        batch("(velorund-warp-too-wide)");
        args.insert(args.end(), {"-b", "(gimp-quit 0)"});

        auto start = std::chrono::steady_clock::now();
        int code = runProgram(args, path("gimp.log"));
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        batchLog = readFile(path("gimp.log"));
        printf("GIMP batch run: %zu commands in %.1f s\n", cases().size() + 2, seconds);
        ASSERT_EQ(code, 0) << batchLog;
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new GimpBatch);

class SameAsTool : public ::testing::TestWithParam<Case> {};

TEST_P(SameAsTool, SampleForSample) {
    const Case& c = GetParam();
    Image expected = toolResult(c.input, c.toolOptions, std::string("tool-") + c.name + fs::path(c.input).extension().string());
    Image actual = load(path(std::string("gimp-") + c.name + fs::path(c.input).extension().string()));
    ASSERT_TRUE(sameLayout(expected, actual)) << batchLog;
    size_t differing = 0;
    for (size_t i = 0; i < cli::sampleCount(expected); i++)
        if (sample(expected, i) != sample(actual, i) && differing++ == 0)
            ADD_FAILURE() << "first difference at sample " << i << ": tool " << sample(expected, i) << ", GIMP "
                          << sample(actual, i);
    EXPECT_EQ(differing, 0u);
}

INSTANTIATE_TEST_SUITE_P(GimpPlugin, SameAsTool, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// sRGB's transfer curve, for 8-bit samples and linear light in 0..1.
double toLinear(double v) {
    v /= 255;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double fromLinear(double l) { return 255 * (l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055); }

// Outside the ellipse the original, inside it the tool's warp of its bounding box, and along its
// anti-aliased edge the two blended in linear light by the selection mask, as GIMP merges a
// filter's result. The mask is exported perceptually encoded, so it is decoded to the linear
// value GIMP holds; its 8-bit steps and the output's rounding allow one step of difference.
TEST(GimpPlugin, EllipticalSelectionBlendsThroughTheMask) {
    Image original = load(path("rgb8.png"));
    Image mask = load(path("gimp-ellipse-mask.png"));
    Image actual = load(path("gimp-ellipse.png"));
    ASSERT_TRUE(sameLayout(original, actual)) << batchLog;
    ASSERT_TRUE(mask.channels == 1 && mask.bits == 8 && mask.width == original.width);
    const std::string rect = std::to_string(kEllipse[0]) + "," + std::to_string(kEllipse[1]) + "," +
                             std::to_string(kEllipse[2]) + "," + std::to_string(kEllipse[3]);
    Image warped = toolResult("rgb8.png", {"--rect", rect}, "tool-ellipse.png");

    int32_t counts[3] = {};  // unselected, partly and fully selected pixels
    for (size_t p = 0; p < static_cast<size_t>(original.width) * original.height; p++) {
        const double m = sample(mask, p);
        counts[m == 0 ? 0 : m == 255 ? 2 : 1]++;
        for (size_t i = 3 * p; i < 3 * p + 3; i++) {
            const double o = sample(original, i), w = sample(warped, i), a = sample(actual, i);
            const double blend = fromLinear(toLinear(o) + (toLinear(w) - toLinear(o)) * toLinear(m));
            if (m == 0) ASSERT_EQ(a, o) << "unselected pixel " << p << " changed";
            else if (m == 255) ASSERT_EQ(a, w) << "selected pixel " << p << " is not the tool's";
            else ASSERT_LE(std::fabs(a - blend), 1.0) << "edge pixel " << p << " with mask " << m;
        }
    }
    EXPECT_GT(counts[0], 0);
    EXPECT_GT(counts[1], 100);  // the edge is anti-aliased
    EXPECT_GT(counts[2], 0);
}

TEST(GimpPlugin, OversizedLayerFailsWithTheReason) {
    EXPECT_NE(batchLog.find("Velorund: the layer is 40000 x 2 pixels; the filter takes at most 32767 pixels on a side"),
              std::string::npos)
        << batchLog;
}

}  // namespace
