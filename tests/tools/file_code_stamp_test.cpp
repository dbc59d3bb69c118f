#include "tools/file_code_stamp.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/file_code.h"
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

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FileCodeTool, ChecksAndStampsAFile) {
    testing::TempDir dir;
    const std::string file = dir.File("config.ini");
    const std::string tool = std::string(FENDREL_FILECODE_TOOL) + " ";
    testing::WriteFile(file, "[INTERFACE]\nPAGES=0\n");
    EXPECT_EQ(RunCommand(tool + "check " + file + " >/dev/null"), 1);
    EXPECT_EQ(RunCommand(tool + "stamp " + file + " >/dev/null"), 0);
    EXPECT_EQ(testing::ReadFile(file), "[INTERFACE]\nPAGES=0\nFILECODE:7da9\n");
    EXPECT_EQ(RunCommand(tool + "check " + file + " >/dev/null"), 0);
    EXPECT_EQ(RunCommand(tool + "check " + dir.File("missing.ini") + " 2>/dev/null"), 2);
    EXPECT_EQ(RunCommand(tool + "stamp " + dir.File("missing.ini") + " 2>/dev/null"), 2);
    EXPECT_EQ(RunCommand(tool + "frobnicate " + file + " 2>/dev/null"), 2);
}

}  // namespace
}  // namespace fendrel
