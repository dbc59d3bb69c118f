#include "tools/file_code_stamp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/file_code.h"
#include "tests/support/run_command.h"
#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace fendrel {
namespace {

struct StampCase {
    const char* name;
    std::string before;
    std::string after;
};

class StampTest : public ::testing::TestWithParam<StampCase> {};

TEST_P(StampTest, WritesTheMatchingLineAndKeepsEveryOtherByte) {
    const std::string stamped = StampConfigText(GetParam().before);
    EXPECT_EQ(stamped, GetParam().after);
    EXPECT_TRUE(ExamineConfigText(stamped).matches());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StampTest,
    ::testing::Values(
        StampCase{"appends_lf", "[INTERFACE]\nPAGES=0\n", "[INTERFACE]\nPAGES=0\nFILECODE:7da9\n"},
        StampCase{"appends_crlf", "[INTERFACE]\r\nPAGES=0\r\n",
                  "[INTERFACE]\r\nPAGES=0\r\nFILECODE:7da9\r\n"},
        StampCase{"ends_an_unterminated_last_line", "[INTERFACE]\nPAGES=0",
                  "[INTERFACE]\nPAGES=0\nFILECODE:7da9\n"},
        StampCase{"replaces_in_place", "[INTERFACE]\r\nFILECODE:0000\r\nPAGES=0",
                  "[INTERFACE]\r\nFILECODE:7da9\r\nPAGES=0"},
        StampCase{"replaces_the_last_of_two", "FILECODE:aaaa\n[INTERFACE]\nPAGES=0\nFILECODE:bbbb",
                  "FILECODE:aaaa\n[INTERFACE]\nPAGES=0\nFILECODE:7da9"},
        StampCase{"keeps_a_key_holding_the_prefix", "[INTERFACE]\nPAGES=0\nNOTE=FILECODE:x\n",
                  "[INTERFACE]\nPAGES=0\nNOTE=FILECODE:x\nFILECODE:7da9\n"},
        StampCase{"inserts_before_ctrl_z", std::string("[INTERFACE]\nPAGES=0\n\x1atail"),
                  std::string("[INTERFACE]\nPAGES=0\nFILECODE:7da9\n\x1atail")},
        StampCase{"last_line_ending_in_cr", "A\r", "A\r\r\nFILECODE:1be6\n"},
        StampCase{"empty_file", "", "FILECODE:0000\n"}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

int Status(const std::string& command) {
    return testing::RunCommand(command).status;
}

TEST(FileCodeTool, ChecksAndStampsAFile) {
    testing::TempDir dir;
    const std::string file = dir.File("config.ini");
    const std::string tool = std::string(FENDREL_FILECODE_TOOL) + " ";
    testing::WriteFile(file, "[INTERFACE]\nPAGES=0\n");
    EXPECT_EQ(Status(tool + "check " + file), 1);
    EXPECT_EQ(Status(tool + "stamp " + file), 0);
    EXPECT_EQ(testing::ReadFile(file), "[INTERFACE]\nPAGES=0\nFILECODE:7da9\n");
    EXPECT_EQ(Status(tool + "check " + file), 0);
    EXPECT_EQ(Status(tool + "check " + dir.File("missing.ini")), 2);
    EXPECT_EQ(Status(tool + "stamp " + dir.File("missing.ini")), 2);
    EXPECT_EQ(Status(tool + "frobnicate " + file), 2);
}

// A configuration kept elsewhere through a link is stamped where it lies; the link stays.
TEST(FileCodeTool, StampsTheFileALinkPointsTo) {
    testing::TempDir dir;
    testing::WriteFile(dir.File("kept/config.ini"), "[INTERFACE]\nPAGES=0\n");
    std::filesystem::create_symlink("kept/config.ini", dir.File("config.ini"));
    EXPECT_EQ(Status(std::string(FENDREL_FILECODE_TOOL) + " stamp " + dir.File("config.ini")), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("config.ini")));
    EXPECT_EQ(testing::ReadFile(dir.File("kept/config.ini")),
              "[INTERFACE]\nPAGES=0\nFILECODE:7da9\n");
}

// What is not a regular file is neither read (a FIFO would hold the tool for ever) nor
// replaced.
TEST(FileCodeTool, RefusesWhatIsNoRegularFile) {
    testing::TempDir dir;
    testing::MakeFifo(dir.File("fifo"));
    std::filesystem::create_symlink(dir.File("fifo"), dir.File("link"));
    for (const char* name : {"fifo", "link"}) {
        for (const std::string command : {"check", "stamp"}) {
            const testing::CommandOutcome outcome =
                testing::RunCommand("timeout 30 " + std::string(FENDREL_FILECODE_TOOL) + " " +
                                    command + " " + dir.File(name));
            EXPECT_EQ(outcome.status, 2) << command << " " << name;
            EXPECT_NE(outcome.errors.find("is a FIFO, not a regular file"), std::string::npos)
                << outcome.errors;
        }
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir.File("fifo")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link")));
}

}  // namespace
}  // namespace fendrel
