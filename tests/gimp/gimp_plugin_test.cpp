// The GIMP plug-in in real GIMP: gimp-console-2.10 loads images in batch mode, runs
// plug-in-velorund non-interactively through the Script-Fu procedures of velorund_cases.scm and
// exports the results, which must equal the command-line tool's output on the same files sample
// for sample. GIMP runs once for all cases, with a private configuration folder in the build
// tree that holds the plug-in.
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

// The command-line tool's output for an input.
Image toolResult(const std::string& input, const std::string& options, const std::string& output) {
    const auto [status, log] = run(VELORUND_EXECUTABLE " --quiet --force " + options + " " + path(input) + " " + path(output));
    EXPECT_EQ(status, 0) << log;
    return load(output);
}

struct Case { const char *name, *input, *rect; };  // rect: x y w h of a rectangular selection, or empty
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }
const Case kCases[] = {{"rgb8", "rgb8.png", ""},     {"rgba8", "rgba8.png", ""},         {"rgb16", "rgb16.png", ""},
                       {"gray32f", "gray32f.tif", ""}, {"rectangle", "rgba8.png", "23 9 61 50"}};
const char kEllipse[] = "17 11 70 55";

std::string commas(std::string text) { return std::replace(text.begin(), text.end(), ' ', ','), text; }
std::string output(const Case& c) { return std::string("gimp-") + c.name + std::filesystem::path(c.input).extension().string(); }

std::string batchLog;  // what GIMP printed

// The inputs, the plug-in installed as a user installs it, and one GIMP run with a batch command
// per case, so that a failing case does not stop the others.
class GimpBatch : public ::testing::Environment {
    void SetUp() override {
        std::filesystem::remove_all(kWork);
        std::filesystem::create_directories(path("home/gradients"));
        writeInput("rgb8.png", 3, 8), writeInput("rgba8.png", 4, 8), writeInput("rgb16.png", 3, 16), writeInput("gray32f.tif", 1, 32);
        const auto [installed, log] = run(GIMPTOOL " --install-bin " VELORUND_GIMP_PLUGIN);
        ASSERT_EQ(installed, 0) << log;

        // In the sanitize build a fault in the plug-in ends it and fails its case; its leak check is
        // off, as the libraries GIMP's own libraries load and unload leave allocations behind.
        std::string command = "ASAN_OPTIONS=detect_leaks=0 " GIMP_CONSOLE " -i -d -f --batch-interpreter plug-in-script-fu-eval";
        auto batch = [&](const std::string& call) { command += " -b '(begin (load \"" VELORUND_GIMP_SCRIPT "\") " + call + ")'"; };
        for (const Case& c : kCases) batch("(velorund-warp \"" + path(c.input) + "\" \"" + path(output(c)) + "\" " + c.rect + ")");
        batch("(velorund-warp-ellipse \"" + path("rgb8.png") + "\" \"" + path("gimp-ellipse.png") + "\" \"" +
              path("gimp-ellipse-mask.png") + "\" " + kEllipse + ")");
        batch("(velorund-warp-too-wide)");
        int status;
        std::tie(status, batchLog) = run(command + " -b '(gimp-quit 0)'");
        ASSERT_EQ(status, 0) << batchLog;
    }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new GimpBatch);

class SameAsTool : public ::testing::TestWithParam<Case> {};

TEST_P(SameAsTool, SampleForSample) {
    const Case& c = GetParam();
    const Image expected = toolResult(c.input, *c.rect ? "--rect " + commas(c.rect) : "", std::string("tool-") + output(c));
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

TEST(GimpPlugin, OversizedLayerFailsWithTheReason) {
    EXPECT_NE(batchLog.find("Velorund: the layer is 40000 x 2 pixels; the filter takes at most 32767 pixels on a side"),
              std::string::npos) << batchLog;
}

}  // namespace
