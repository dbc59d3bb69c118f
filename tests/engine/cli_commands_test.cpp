// fendrel-cli hex2bin, check-images, nv-check and nv-items, run as a technician runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/image_checks.h"
#include "tests/support/run_command.h"
#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

CommandOutcome RunCli(const std::string& arguments) {
    return RunCommand(std::string(FENDREL_CLI) + " " + arguments);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliHex2Bin, PrintsTheResultAndFailsOnlyForErrors) {
    TempDir dir;
    WriteFile(dir.File("p.hex"), ":10000000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n");
    WriteFile(dir.File("no-end.hex"), ":10000000000102030405060708090A0B0C0D0E0F00\n");
    const CommandOutcome converted =
        RunCli("hex2bin " + dir.File("p.hex") + " " + dir.File("p.bin"));
    EXPECT_EQ(converted.status, 0);
    EXPECT_EQ(converted.output, "16\n");
    EXPECT_EQ(ReadFile(dir.File("p.bin")).size(), 16u);
    const CommandOutcome no_end =
        RunCli("hex2bin " + dir.File("no-end.hex") + " " + dir.File("n.bin"));
    EXPECT_EQ(no_end.status, 1);
    EXPECT_EQ(no_end.output, "-2\n");
    EXPECT_EQ(RunCli("hex2bin " + dir.File("p.hex")).status, 2);  // usage
}

// Every file that cannot be read or written is named, with the reason; an output that is no
// regular file is left as it was.
TEST(CliHex2Bin, SaysWhichFileFailedAndWhy) {
    TempDir dir;
    WriteFile(dir.File("p.hex"), ":10000000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n");
    std::filesystem::create_directory(dir.File("folder"));
    MakeFifo(dir.File("fifo"));
    const std::string hex = dir.File("p.hex");
    struct Case {
        std::string input, output, message;
    };
    const Case cases[] = {
        {dir.File("missing.hex"), dir.File("m.bin"),
         "cannot open " + dir.File("missing.hex") + ": No such file or directory"},
        {dir.File("fifo"), dir.File("m.bin"), dir.File("fifo") + " is a FIFO, not a regular file"},
        {hex, dir.File("folder"),
         "cannot write " + dir.File("folder") + ": it is a folder, not a regular file"},
        {hex, dir.File("fifo"),
         "cannot write " + dir.File("fifo") + ": it is a FIFO, not a regular file"},
        {hex, dir.File("no folder/m.bin"),
         "cannot create a temporary file beside " + dir.File("no folder/m.bin") +
             ": No such file or directory"},
    };
    for (const Case& c : cases) {
        const CommandOutcome outcome = RunCli("hex2bin '" + c.input + "' '" + c.output + "'");
        EXPECT_EQ(outcome.status, 1) << c.message;
        EXPECT_EQ(outcome.output, "-1\n") << c.message;
        EXPECT_TRUE(Contains(outcome.errors, "fendrel-cli hex2bin: " + c.message))
            << outcome.errors;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir.File("fifo")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("folder")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("m.bin")));
}

TEST(CliCheckImages, PassesAWholeMatchingSetOnly) {
    TempDir dir;
    // Four zero bytes sum to 0: the stored checksum is the seed.
    WriteFile(dir.File("app.mbn"), std::string(4, '\0') + std::string("\x1C\x1C\x1C\x1C"));
    WriteFile(dir.File("marked.mbn"), std::string(kImageMarker));
    EXPECT_EQ(RunCli("check-images " + dir.File("app.mbn")).status, 0);
    const CommandOutcome mismatch =
        RunCli("check-images " + dir.File("app.mbn") + " " + dir.File("marked.mbn"));
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_NE(mismatch.output.find("boot marker: present"), std::string::npos);
    EXPECT_EQ(RunCli("check-images " + dir.File("marked.mbn")).status, 1);  // no checksum
}

// An input that is no regular file is refused at once with its reason: a FIFO without writer
// must not hold a command for ever, a folder must not read as an empty file.
TEST(CliInputFiles, EveryCommandRefusesWhatIsNoRegularFile) {
    TempDir dir;
    MakeFifo(dir.File("fifo"));
    MakeSocket(dir.File("socket"));
    const std::pair<std::string, std::string> inputs[] = {
        {dir.File("fifo"), " is a FIFO, not a regular file"},
        {dir.File("socket"), " is a socket, not a regular file"},
        {dir.path(), " is a folder, not a regular file"},
    };
    for (const auto& [path, why] : inputs) {
        for (const std::string& command : {"hex2bin '" + path + "' " + dir.File("out.bin"),
                                           "check-images '" + path + "' '" + path + "'",
                                           "nv-check '" + path + "'", "nv-items '" + path + "'"}) {
            SCOPED_TRACE(command);
            const CommandOutcome outcome =
                RunCommand("timeout 30 " + std::string(FENDREL_CLI) + " " + command);
            EXPECT_TRUE(outcome.status == 1 || outcome.status == 2) << outcome.status;
            EXPECT_TRUE(Contains(outcome.output + outcome.errors, path + why))
                << outcome.output << outcome.errors;
        }
    }
}

}  // namespace
}  // namespace fendrel::testing
