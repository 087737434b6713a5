// The GIMP plug-in in real GIMP: gimp-console-2.10 loads images in batch mode, runs
// plug-in-velorund non-interactively through the Script-Fu procedures of velorund_cases.scm and
// exports the results, which must equal the command-line tool's output on the same values sample
// for sample, or the input where the filter must leave it; the calls it must refuse fail with
// their reasons. GIMP runs once for all cases, and once more for a run cancelled at the last
// moment, with a private configuration folder in the build tree that holds the plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "image_file.h"

using cli::Image;

namespace {

const std::string kWork = VELORUND_GIMP_WORK_DIR;
std::string path(const std::string& name) { return kWork + "/" + name; }

// Runs a shell command with GIMP's configuration folder set to the private one; returns its exit
// status and what it printed.
std::pair<int, std::string> run(const std::string& command) {
    const int status = std::system(("GIMP2_DIRECTORY='" + path("home") + "' " + command + " >'" + path("log") + "' 2>&1").c_str());
    std::ifstream log(path("log"));
    return {status, std::string(std::istreambuf_iterator<char>(log), {})};
}

// Ramps, a fine checker and hashed noise in every channel, so that the filtering and every low
// bit show; with alpha, a ramp from opaque to fully transparent.
void writeInput(const std::string& name, int32_t channels, int32_t bits) {
    Image image;
    image.width = 101, image.height = 77, image.channels = channels, image.bits = bits;
    image.samples.resize(cli::sampleCount(image) * (bits / 8));
    for (size_t i = 0; i < cli::sampleCount(image); i++) {
        const int32_t c = i % channels, x = i / channels % 101, y = i / channels / 101;
        double v = 0.6 * (c % 2 ? x / 101.0 : y / 77.0) + 0.25 * ((x / 4 + y / 4 + c) % 2) + (i * 2654435761u % 997) / 9970.0;
        if (c == 3 || (c == 1 && channels == 2)) v = std::clamp(1.4 - 1.8 * x / 101, 0.0, 1.0);
        const uint16_t s16 = static_cast<uint16_t>(std::lround(v * 65535));
        const float f = static_cast<float>(v);
        if (bits == 8) image.samples[i] = static_cast<uint8_t>(std::lround(v * 255));
        memcpy(&image.samples[i * (bits / 8)], bits == 16 ? static_cast<const void*>(&s16) : &f, bits == 8 ? 0 : bits / 8);
    }
    std::string error;
    ASSERT_TRUE(cli::saveImage(image, path(name), cli::formatOf(name), cli::SaveSettings{}, error)) << error;
}

Image load(const std::string& name) {
    Image image;
    std::string error;
    EXPECT_TRUE(cli::loadImage(path(name), image, error)) << name << ": " << error;
    return image;
}

// The alpha channel of an RGBA input as a gray image: the values of a layer mask copied from it.
void writeAlpha(const std::string& rgba, const std::string& name) {
    Image image = load(rgba);
    const size_t bytes = image.bits / 8, pixels = cli::sampleCount(image) / 4;
    for (size_t p = 0; p < pixels; p++) memmove(&image.samples[p * bytes], &image.samples[(p * 4 + 3) * bytes], bytes);
    image.channels = 1;
    image.samples.resize(pixels * bytes);
    std::string error;
    ASSERT_TRUE(cli::saveImage(image, path(name), cli::formatOf(name), cli::SaveSettings{}, error)) << error;
}

// The command-line tool's output for an input.
Image toolResult(const std::string& input, const std::string& options, const std::string& output) {
    const auto [status, log] = run(VELORUND_EXECUTABLE " --quiet --force " + options + " " + path(input) + " " + path(output));
    EXPECT_EQ(status, 0) << log;
    return load(output);
}

// rect: x y w h of a rectangular selection, or empty. procedure: the Script-Fu procedure that
// filters the input; toolInput: the file with the same values for the tool, if not the input.
struct Case {
    const char *name, *input, *rect = "", *procedure = "velorund-warp", *toolInput = nullptr;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }
const Case kCases[] = {{"rgb8", "rgb8.png"},
                       {"rgba8", "rgba8.png"},
                       {"rgb16", "rgb16.png"},
                       {"gray32f", "gray32f.tif"},
                       {"rectangle", "rgba8.png", "23 9 61 50"},
                       {"mask8", "rgba8.png", "", "velorund-warp-mask", "alpha8.png"},
                       {"mask16", "rgba16.png", "", "velorund-warp-mask", "alpha16.png"}};
const char kEllipse[] = "17 11 70 55";

// Runs on rgb8.png after which the layer must equal it: a selection outside the layer, and a
// Cancel after the module's last poll, which the test stands in for through the plug-in's
// environment, in a GIMP run of its own.
struct Unchanged { const char *procedure, *output, *environment; };
const Unchanged kUnchanged[] = {{"velorund-warp-outside", "gimp-outside.png", ""},
                                {"velorund-warp", "gimp-cancelled.png", "VELORUND_GIMP_CANCEL_BEFORE_STORING=1 "}};

// Calls the plug-in must refuse before any work, with the reason each must give.
const std::pair<std::string, const char*> kRefusals[] = {
    {"(plug-in-velorund RUN-NONINTERACTIVE -1 -1)", "no image has the id -1"},
    {"(plug-in-velorund RUN-NONINTERACTIVE (car (gimp-image-new 8 8 RGB)) -1)", "no layer, layer mask or channel has the id -1"},
    {"(velorund-refuse \"" + path("rgb8.png") + "\" \"foreign\")", "the drawable belongs to another image"},
    {"(velorund-refuse \"" + path("rgb8.png") + "\" \"group\")", "a layer group cannot be filtered"},
    {"(velorund-refuse \"" + path("rgb8.png") + "\" \"locked\")", "the drawable's pixels are locked"},
    {"(velorund-warp-too-wide)", "the layer is 40000 x 2 pixels; the filter takes at most 32767 pixels on a side"}};

std::string commas(std::string text) { return std::replace(text.begin(), text.end(), ' ', ','), text; }
std::string output(const Case& c) { return std::string("gimp-") + c.name + std::filesystem::path(c.input).extension().string(); }

std::string batchLog;  // what GIMP printed

// A call of a procedure of velorund_cases.scm on an input and an output file of the work folder.
std::string scriptCall(const std::string& procedure, const std::string& input, const std::string& output,
                       const std::string& more = "") {
    return "(" + procedure + " \"" + path(input) + "\" \"" + path(output) + "\" " + more + ")";
}

// The inputs, the plug-in installed as a user installs it, and the GIMP runs.
class GimpBatch : public ::testing::Environment {
    void SetUp() override {
        std::filesystem::remove_all(kWork);
        std::filesystem::create_directories(path("home/gradients"));
        writeInput("rgb8.png", 3, 8), writeInput("rgba8.png", 4, 8), writeInput("rgb16.png", 3, 16), writeInput("gray32f.tif", 1, 32);
        writeInput("rgba16.png", 4, 16), writeAlpha("rgba8.png", "alpha8.png"), writeAlpha("rgba16.png", "alpha16.png");
        const auto [installed, log] = run(GIMPTOOL " --install-bin " VELORUND_GIMP_PLUGIN);
        ASSERT_EQ(installed, 0) << log;

        std::vector<std::string> calls;
        for (const Case& c : kCases) calls.push_back(scriptCall(c.procedure, c.input, output(c), c.rect));
        calls.push_back(scriptCall("velorund-warp-ellipse", "rgb8.png", "gimp-ellipse.png",
                                   "\"" + path("gimp-ellipse-mask.png") + "\" " + kEllipse));
        for (const auto& [call, reason] : kRefusals) calls.push_back(call);
        for (const Unchanged& u : kUnchanged)
            if (!*u.environment) calls.push_back(scriptCall(u.procedure, "rgb8.png", u.output));
        batchLog = gimpBatch("", calls);
        for (const Unchanged& u : kUnchanged)
            if (*u.environment) batchLog += gimpBatch(u.environment, {scriptCall(u.procedure, "rgb8.png", u.output)});
    }

    // One GIMP run with a batch command per call, so that a failing call does not stop the others;
    // returns what GIMP printed. In the sanitize build a fault in the plug-in ends it and fails its
    // case; its leak check is off, as the libraries GIMP's own libraries load and unload leave
    // allocations behind.
    static std::string gimpBatch(const std::string& environment, const std::vector<std::string>& calls) {
        std::string command = "ASAN_OPTIONS=detect_leaks=0 " + environment + GIMP_CONSOLE " -i -d -f --batch-interpreter plug-in-script-fu-eval";
        for (const std::string& call : calls) command += " -b '(begin (load \"" VELORUND_GIMP_SCRIPT "\") " + call + ")'";
        const auto [status, log] = run(command + " -b '(gimp-quit 0)'");
        EXPECT_EQ(status, 0) << log;
        return log;
    }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new GimpBatch);

class SameAsTool : public ::testing::TestWithParam<Case> {};

TEST_P(SameAsTool, SampleForSample) {
    const Case& c = GetParam();
    const Image expected = toolResult(c.toolInput ? c.toolInput : c.input, *c.rect ? "--rect " + commas(c.rect) : "", std::string("tool-") + output(c));
    const Image actual = load(output(c));
    ASSERT_TRUE(actual.width == expected.width && actual.channels == expected.channels && actual.bits == expected.bits &&
                actual.samples.size() == expected.samples.size()) << batchLog;
    const auto difference = std::mismatch(actual.samples.begin(), actual.samples.end(), expected.samples.begin()).first;
    EXPECT_EQ(difference - actual.samples.begin(), std::ssize(actual.samples)) << "the first difference, in bytes";
}
INSTANTIATE_TEST_SUITE_P(GimpPlugin, SameAsTool, ::testing::ValuesIn(kCases), [](const auto& info) { return info.param.name; });

// sRGB's transfer curve between 8-bit samples and linear light.
double toLinear(double v) { return (v /= 255) <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double fromLinear(double l) { return 255 * (l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055); }

// Outside the ellipse the original, inside it the tool's warp of its bounding box, and along its
// anti-aliased edge the two blended in linear light by the selection mask, as GIMP merges a
// filter's result. The mask is exported perceptually encoded, so it is decoded to the linear
// value GIMP holds; its 8-bit steps and the output's rounding allow one step of difference.
TEST(GimpPlugin, EllipticalSelectionBlendsThroughTheMask) {
    const Image original = load("rgb8.png"), mask = load("gimp-ellipse-mask.png"), actual = load("gimp-ellipse.png");
    const Image warped = toolResult("rgb8.png", "--rect " + commas(kEllipse), "tool-ellipse.png");
    ASSERT_TRUE(actual.samples.size() == original.samples.size() && mask.samples.size() * 3 == original.samples.size()) << batchLog;
    int32_t edge = 0;
    for (size_t i = 0; i < original.samples.size(); i++) {
        const double m = mask.samples[i / 3], o = original.samples[i], w = warped.samples[i], a = actual.samples[i];
        if (m == 0 || m == 255) ASSERT_EQ(a, m == 0 ? o : w) << "sample " << i << " with mask " << m;
        else ASSERT_LE(std::fabs(a - fromLinear(toLinear(o) + (toLinear(w) - toLinear(o)) * toLinear(m))), 1.0) << i;
        edge += m > 0 && m < 255;
    }
    EXPECT_GT(edge, 300);  // the edge is anti-aliased
}

TEST(GimpPlugin, LayerLeftUnchanged) {
    const Image input = load("rgb8.png");
    for (const Unchanged& u : kUnchanged) EXPECT_TRUE(load(u.output).samples == input.samples) << u.output << "\n" << batchLog;
}

TEST(GimpPlugin, RefusalsFailWithTheirReasons) {
    for (const auto& [call, reason] : kRefusals)
        EXPECT_NE(batchLog.find("Velorund: " + std::string(reason)), std::string::npos) << call << "\n" << batchLog;
}

}  // namespace
