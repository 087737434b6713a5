// Many files at once, and stopping: a batch reports a bad file and writes the others, never
// replaces one of its inputs, and SIGTERM, SIGHUP and Ctrl-C remove the file in progress while
// keeping the ones written, also while a large picture is being read (which under the pixel
// limit is read whole however small its file).
#include <csignal>

#include "cli_fixture.h"

namespace {

using namespace clitest;

TEST_F(Cli, BatchReportsABadFileAndWritesTheOthers) {
    writeJpeg(path("a.jpg"), texture(40, 30, 3));
    writePng(path("c.png"), texture(40, 30, 4));
    const std::string jpeg = readFile(path("a.jpg"));
    std::ofstream(path("b.jpg"), std::ios::binary) << jpeg.substr(0, jpeg.size() / 2);
    fs::create_directory(path("d.png"));
    // The longest name a file can have: its temporary name is cut short.
    const std::string longest = std::string(250, 'e') + ".webp";
    fs::copy_file(path("a.jpg"), path(std::string(250, 'e') + ".jpg"));

    auto [code, errors, peak] = run({"--quiet", "--format", "webp", path("a.jpg"), path("b.jpg"), path("c.png"), path("d.png"),
                                     path(std::string(250, 'e') + ".jpg"), "-o", path("out")});
    EXPECT_EQ(code, 2);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
    EXPECT_NE(errors.find("b.jpg: not a readable JPEG image: the image data is truncated"), std::string::npos) << errors;
    EXPECT_NE(errors.find("/d.png: is a folder"), std::string::npos) << errors;
    EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"a.webp", "c.webp", longest}));
    EXPECT_EQ(load(path("out/c.webp")).channels, 4);

    // Each keeps its own type without --format; outputs that exist are refused, one by one.
    EXPECT_EQ(run({"--quiet", path("a.jpg"), path("c.png"), "-o", path("out")}).exitCode, 0);
    EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"a.jpg", "a.webp", "c.png", "c.webp", longest}));
    Ran again = run({"--quiet", path("a.jpg"), path("c.png"), "-o", path("out")});
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_EQ(std::count(again.errors.begin(), again.errors.end(), '\n'), 2) << again.errors;
}

TEST_F(Cli, BatchNeverReplacesItsInputs) {
    // out/a.jpg is an input by its own name, out/b.jpg a symbolic link to x/b.jpg, out/c.jpg a
    // hard link to x/c.jpg.
    fs::create_directories(path("x"));
    fs::create_directories(path("out"));
    for (const char* name : {"x/a.jpg", "out/a.jpg", "x/b.jpg", "x/c.jpg"}) writeJpeg(path(name), texture(16, 16, 3));
    fs::create_symlink(path("x/b.jpg"), path("out/b.jpg"));
    fs::create_hard_link(path("x/c.jpg"), path("out/c.jpg"));
    const std::string before = readFile(path("out/a.jpg"));
    const std::vector<std::vector<std::string>> batches = {{"x/a.jpg", "out/a.jpg"}, {"x/b.jpg"}, {"x/a.jpg", "x/c.jpg"}};
    for (const auto& inputs : batches) {
        std::vector<std::string> args{"--quiet", "--force", "-o", path("out")};
        for (const std::string& input : inputs) args.push_back(path(input));
        Ran ran = run(args);
        EXPECT_EQ(ran.exitCode, 2) << inputs.back();
        EXPECT_NE(ran.errors.find(": is the input " + path(inputs.back())), std::string::npos) << ran.errors;
        EXPECT_EQ(std::count(ran.errors.begin(), ran.errors.end(), '\n'), 1) << ran.errors;
        EXPECT_EQ(readFile(path("out/a.jpg")), before) << "nothing written";
        EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
    }
}

// Runs the tool and sends it the signal once ready(pid) says so; its exit code and peak memory.
std::pair<int, long> stopWhen(std::vector<std::string> args, const std::function<bool(pid_t)>& ready, int signal) {
    pid_t pid = startTool(std::move(args), "/dev/null");
    for (bool sent = false; !sent && waitpid(pid, nullptr, WNOHANG) == 0; usleep(1000))
        if (ready(pid)) sent = kill(pid, signal) == 0;
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

// Whether a temporary file starting with prefix is in folder.
std::function<bool(pid_t)> writing(const std::string& folder, const std::string& prefix) {
    return [=](pid_t) {
        if (fs::is_directory(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
        return false;
    };
}

// Whether the process holds more than 64 MB: decoding has begun.
bool decoding(pid_t pid) {
    long pages = 0, resident = 0;
    std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) > (64L << 20);
}

TEST_F(Cli, SignalsRemoveTheFileInProgressAndKeepTheWrittenOnes) {
    writePng(path("big.png"), texture(1500, 1500, 3));
    writePng(path("small.png"), texture(16, 16, 3));
    for (int signal : {SIGTERM, SIGHUP}) {
        EXPECT_EQ(stopWhen({path("big.png"), path("out.png")}, writing(dir_, ".out.png."), signal).first, 128 + signal);
        EXPECT_EQ(leftovers({"big.png", "small.png"}), std::vector<std::string>{}) << signal;
    }
    // The batch stops without waiting for the 13000 x 13000 picture it reads ahead.
    std::ofstream(path("bomb.webp"), std::ios::binary) << oneColourWebp(13000, 13000);
    auto [code, peak] = stopWhen({"--quiet", path("small.png"), path("big.png"), path("bomb.webp"), "-o", path("out")},
                                 writing(path("out"), ".big.png."), SIGINT);
    EXPECT_EQ(code, 130);
    EXPECT_LT(peak, 512 << 10);
    EXPECT_EQ(namesIn(path("out")), std::vector<std::string>{"small.png"});
}

TEST_F(Cli, ASignalStopsTheReadOfALargePicture) {
    // 13000 x 13000 pixels in every format that holds them in a small file: decoded whole, each
    // would take well over a gigabyte.
    std::ofstream(path("bomb.webp"), std::ios::binary) << oneColourWebp(13000, 13000);
    writeJpeg(path("small.jpg"), constantImage(16, 16, 3, 8, {0.5, 0.5, 0.5}), {.fullChroma = true, .arithmetic = true});
    std::ofstream(path("bomb.jpg"), std::ios::binary) << withPictureSize(readFile(path("small.jpg")), 13000, 13000);
    FILE* file = fopen(path("zeros.png").c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, 13000, 13000, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(13000 * 3, 0);
    for (int y = 0; y < 13000; y++) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    fclose(file);

    for (const char* name : {"bomb.webp", "bomb.jpg", "zeros.png"}) {
        auto [code, peak] = stopWhen({"--quiet", path(name), path("out.png")}, decoding, SIGINT);
        EXPECT_EQ(code, 130) << name;
        EXPECT_LT(peak, 400 << 10) << name;
        EXPECT_EQ(leftovers({"bomb.webp", "small.jpg", "bomb.jpg", "zeros.png"}), std::vector<std::string>{}) << name;
    }

    // Under the limit, such a picture is read whole: 6000 x 4000 pixels in a few hundred bytes.
    std::ofstream(path("large.jpg"), std::ios::binary) << withPictureSize(readFile(path("small.jpg")), 6000, 4000);
    const Image large = load(path("large.jpg"));
    EXPECT_EQ(large.width * large.height, 6000 * 4000);
}

}  // namespace
