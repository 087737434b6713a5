// Many files at once, and stopping: a batch reports a bad file and writes the others, and
// SIGTERM, SIGHUP and Ctrl-C remove the file in progress while keeping the ones written.
#include <csignal>

#include "cli_fixture.h"

namespace {

using namespace clitest;

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Cli, BatchReportsABadFileAndWritesTheOthers) {
    writeJpeg(path("a.jpg"), texture(40, 30, 3));
    writePng(path("c.png"), texture(40, 30, 4));
    const std::string jpeg = readFile(path("a.jpg"));
    std::ofstream(path("b.jpg"), std::ios::binary) << jpeg.substr(0, jpeg.size() / 2);

    auto [code, errors] = run({"--quiet", "--format", "webp", path("a.jpg"), path("b.jpg"), path("c.png"), "-o", path("out")});
    EXPECT_EQ(code, 2);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("b.jpg: "), std::string::npos) << errors;
    EXPECT_NE(errors.find("truncated"), std::string::npos) << errors;
    EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"a.webp", "c.webp"}));
    EXPECT_EQ(load(path("out/c.webp")).channels, 4);

    // Each keeps its own type without --format; outputs that exist are refused, one by one.
    EXPECT_EQ(run({"--quiet", path("a.jpg"), path("c.png"), "-o", path("out")}).first, 0);
    EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"a.jpg", "a.webp", "c.png", "c.webp"}));
    std::tie(code, errors) = run({"--quiet", path("a.jpg"), path("c.png"), "-o", path("out")});
    EXPECT_EQ(code, 2);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
}

// Runs the tool, sends it the signal once a temporary file starting with prefix appears in
// folder, and returns its exit code.
int stopWhileWriting(std::vector<std::string> args, const std::string& folder, const std::string& prefix, int signal) {
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stderr)) _exit(127);
        std::vector<char*> argv{const_cast<char*>(VELORUND_EXECUTABLE)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(VELORUND_EXECUTABLE, argv.data());
        _exit(127);
    }
    for (bool sent = false; !sent && waitpid(pid, nullptr, WNOHANG) == 0; usleep(1000))
        if (fs::is_directory(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                if (!sent && entry.path().filename().string().rfind(prefix, 0) == 0) sent = kill(pid, signal) == 0;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Cli, SignalsRemoveTheFileInProgressAndKeepTheWrittenOnes) {
    writePng(path("big.png"), texture(1500, 1500, 3));
    writePng(path("small.png"), texture(16, 16, 3));
    for (int signal : {SIGTERM, SIGHUP}) {
        EXPECT_EQ(stopWhileWriting({path("big.png"), path("out.png")}, dir_, ".out.png.", signal), 128 + signal);
        EXPECT_EQ(leftovers({"big.png", "small.png"}), std::vector<std::string>{}) << signal;
    }
    EXPECT_EQ(stopWhileWriting({"--quiet", path("small.png"), path("big.png"), "-o", path("out")}, path("out"), ".big.png.",
                               SIGINT),
              130);
    EXPECT_EQ(namesIn(path("out")), std::vector<std::string>{"small.png"});
}

}  // namespace
