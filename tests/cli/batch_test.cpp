// Many files at once, and stopping: a batch reports a bad file and writes the others, and
// SIGTERM, SIGHUP and Ctrl-C remove the file in progress while keeping the ones written.
#include <csignal>

#include "cli_fixture.h"

namespace {

using namespace clitest;

TEST_F(Cli, BatchReportsABadFileAndWritesTheOthers) {
    writeJpeg(path("a.jpg"), texture(40, 30, 3));
    writePng(path("c.png"), texture(40, 30, 4));
    const std::string jpeg = readFile(path("a.jpg"));
    std::ofstream(path("b.jpg"), std::ios::binary) << jpeg.substr(0, jpeg.size() / 2);

    auto [code, errors, peak] = run({"--quiet", "--format", "webp", path("a.jpg"), path("b.jpg"), path("c.png"), "-o", path("out")});
    EXPECT_EQ(code, 2);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("b.jpg: "), std::string::npos) << errors;
    EXPECT_NE(errors.find("truncated"), std::string::npos) << errors;
    EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"a.webp", "c.webp"}));
    EXPECT_EQ(load(path("out/c.webp")).channels, 4);

    // Each keeps its own type without --format; outputs that exist are refused, one by one.
    EXPECT_EQ(run({"--quiet", path("a.jpg"), path("c.png"), "-o", path("out")}).exitCode, 0);
    EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"a.jpg", "a.webp", "c.png", "c.webp"}));
    Ran again = run({"--quiet", path("a.jpg"), path("c.png"), "-o", path("out")});
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_EQ(std::count(again.errors.begin(), again.errors.end(), '\n'), 2) << again.errors;
}

// Runs the tool, sends it the signal once a temporary file starting with prefix appears in
// folder, and returns its exit code.
int stopWhileWriting(std::vector<std::string> args, const std::string& folder, const std::string& prefix, int signal) {
    pid_t pid = startTool(std::move(args), "/dev/null");
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
