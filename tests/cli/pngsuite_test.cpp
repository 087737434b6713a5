// PngSuite (tests/data/pngsuite), the PNG files that exercise every colour type, bit depth and
// interlacing and the ancillary chunks, through the tool in one batch with only the top-left
// pixel warped: the valid files come out as Pillow, a decoder independent of libpng, reads them,
// with their colour chunks; the corrupt ones (named x...) are refused with one line each.
#include <cstdio>
#include <map>
#include <sstream>

#include "cli_fixture.h"

namespace {

using namespace clitest;

// The images Pillow decodes from the files, by file name.
std::map<std::string, Image> decodedByPillow(const std::vector<std::string>& files) {
    std::string command = PYTHON_WITH_PIL " " PIL_DECODER;
    for (const std::string& file : files) command += " " + file;
    FILE* pipe = popen(command.c_str(), "r");
    std::map<std::string, Image> images;
    char name[256];
    Image image;
    while (pipe && fscanf(pipe, "%255s %d %d %d %d", name, &image.width, &image.height, &image.channels, &image.bits) == 5 &&
           fgetc(pipe) == '\n') {
        image.samples.resize(cli::sampleCount(image) * cli::sampleBytes(image));
        if (fread(image.samples.data(), 1, image.samples.size(), pipe) != image.samples.size()) break;
        images[name] = image;
    }
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << PIL_DECODER " failed";
    return images;
}

// The file as libpng reads it with palettes, low depths and tRNS expanded: the reference for
// 16-bit colour, which Pillow reads at 8 bits.
Image readWithLibpng(const std::string& file) {
    FILE* in = fopen(file.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, in);
    png_read_png(png, info, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_SWAP_ENDIAN, nullptr);
    Image image;
    image.width = static_cast<int32_t>(png_get_image_width(png, info));
    image.height = static_cast<int32_t>(png_get_image_height(png, info));
    image.channels = png_get_channels(png, info);
    image.bits = png_get_bit_depth(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (int32_t y = 0; y < image.height; y++) image.samples.insert(image.samples.end(), rows[y], rows[y] + cli::rowBytes(image));
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(in);
    return image;
}

// The first chunk of each type in a PNG file: its data, by type.
std::map<std::string, std::string> chunksOf(const std::string& file) {
    const std::string png = readFile(file);
    std::map<std::string, std::string> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = static_cast<uint32_t>(static_cast<uint8_t>(png[at]) << 24 | static_cast<uint8_t>(png[at + 1]) << 16 |
                                                      static_cast<uint8_t>(png[at + 2]) << 8 | static_cast<uint8_t>(png[at + 3]));
        chunks.emplace(png.substr(at + 4, 4), png.substr(at + 8, length));
        at += 12 + static_cast<size_t>(length);
    }
    return chunks;
}

TEST_F(Cli, PngSuiteIsReadAsAnIndependentDecoderReadsItWithItsColourChunks) {
    std::vector<std::string> inputs, valid;
    for (const std::string& name : namesIn(PNGSUITE_DIR)) {
        if (name.ends_with(".png")) inputs.push_back(PNGSUITE_DIR "/" + name);
        if (name.ends_with(".png") && name[0] != 'x') valid.push_back(inputs.back());
    }
    std::vector<std::string> args{"--quiet", "--rect", "0,0,1,1", "-o", path("out")};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const Ran ran = run(args);
    EXPECT_EQ(ran.exitCode, 2) << "the corrupt files fail";

    // What was said about each file: "velorund: FOLDER/NAME.png: ...".
    std::map<std::string, std::vector<std::string>> said;
    std::istringstream lines(ran.errors);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_NE(line.find(".png: "), std::string::npos) << line;
        const size_t end = line.find(".png: ") + 4, start = line.rfind('/', end) + 1;
        said[line.substr(start, end - start)].push_back(line);
    }

    const std::map<std::string, Image> decoded = decodedByPillow(valid);
    EXPECT_EQ(decoded.size(), 161u);
    for (const std::string& input : inputs) {
        const std::string name = input.substr(input.rfind('/') + 1), output = path("out/" + name);
        if (name[0] == 'x') {
            ASSERT_EQ(said[name].size(), 1u) << name;
            EXPECT_NE(said[name][0].find(": not a readable PNG image: "), std::string::npos) << said[name][0];
            EXPECT_FALSE(fs::exists(output)) << name;
            continue;
        }
        for (const std::string& line : said[name]) {
            EXPECT_NE(line.find(": warning: not carried over: "), std::string::npos) << line;
            for (const char* colour : {"gAMA", "cHRM", "sRGB", "sBIT"}) EXPECT_EQ(line.find(colour), std::string::npos) << line;
        }

        // Every pixel but the warped one as the reference has it, 16-bit samples through the
        // host's scale.
        const Image out = load(output);
        const Image reference = decoded.at(name).bits == out.bits ? decoded.at(name) : readWithLibpng(input);
        ASSERT_EQ(out.channels, reference.channels) << name;
        ASSERT_EQ(out.width, reference.width) << name;
        int32_t wrong = 0;
        for (int32_t y = 0; y < out.height; y++)
            for (int32_t x = y == 0; x < out.width; x++)
                for (int32_t c = 0; c < out.channels; c++) {
                    const double expected = sample(reference, x, y, c);
                    wrong += sample(out, x, y, c) != (out.bits == 16 ? throughHostScale(expected) : expected);
                }
        EXPECT_EQ(wrong, 0) << name;

        // The colour chunks as they were; sBIT gains the count of an alpha channel made from tRNS.
        std::map<std::string, std::string> before = chunksOf(input), after = chunksOf(output);
        for (const char* chunk : {"gAMA", "cHRM", "sRGB"}) EXPECT_EQ(after[chunk], before[chunk]) << name << " " << chunk;
        EXPECT_EQ(after["sBIT"].substr(0, before["sBIT"].size()), before["sBIT"]) << name;
        EXPECT_EQ(after["sBIT"].empty(), before["sBIT"].empty()) << name;
    }
}

}  // namespace
