// fendrel-cli hex2bin and check-images, run as a technician runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "engine/image_checks.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

struct Outcome {
    int status;
    std::string output;
};

Outcome RunCli(const std::string& arguments) {
    const std::string command = std::string(FENDREL_CLI) + " " + arguments + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    Outcome outcome{-1, ""};
    if (pipe == nullptr)
        return outcome;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        outcome.output += buffer;
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

TEST(CliHex2Bin, PrintsTheResultAndFailsOnlyForErrors) {
    TempDir dir;
    WriteFile(dir.File("p.hex"), ":10000000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n");
    WriteFile(dir.File("no-end.hex"), ":10000000000102030405060708090A0B0C0D0E0F00\n");
    const Outcome converted = RunCli("hex2bin " + dir.File("p.hex") + " " + dir.File("p.bin"));
    EXPECT_EQ(converted.status, 0);
    EXPECT_EQ(converted.output, "16\n");
    EXPECT_EQ(ReadFile(dir.File("p.bin")).size(), 16u);
    const Outcome no_end = RunCli("hex2bin " + dir.File("no-end.hex") + " " + dir.File("n.bin"));
    EXPECT_EQ(no_end.status, 1);
    EXPECT_EQ(no_end.output, "-2\n");
    const Outcome missing = RunCli("hex2bin " + dir.File("missing.hex") + " " + dir.File("m.bin"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "-1\n");
    EXPECT_EQ(RunCli("hex2bin " + dir.File("p.hex")).status, 2);  // usage
}

TEST(CliCheckImages, PassesAWholeMatchingSetOnly) {
    TempDir dir;
    // Four zero bytes sum to 0: the stored checksum is the seed.
    WriteFile(dir.File("app.mbn"), std::string(4, '\0') + std::string("\x1C\x1C\x1C\x1C"));
    WriteFile(dir.File("marked.mbn"), std::string(kImageMarker));
    EXPECT_EQ(RunCli("check-images " + dir.File("app.mbn")).status, 0);
    const Outcome mismatch =
        RunCli("check-images " + dir.File("app.mbn") + " " + dir.File("marked.mbn"));
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_NE(mismatch.output.find("boot marker: present"), std::string::npos);
    EXPECT_EQ(RunCli("check-images " + dir.File("marked.mbn")).status, 1);  // no checksum
}

}  // namespace
}  // namespace fendrel::testing
