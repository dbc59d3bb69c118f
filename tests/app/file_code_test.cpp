#include "app/file_code.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace fendrel {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(FileCodeCrc, CheckValues) {
    EXPECT_EQ(FileCodeCrc("123456789"), 0x906E);
    EXPECT_EQ(FileCodeCrc("abc"), 0x9E25);
    EXPECT_EQ(FileCodeCrc(""), 0);
}

// The worked example: the lines [INTERFACE] and PAGES=0 hash to 2791 and 2a85, and the
// accumulator 27912a85 to 7da9.
TEST(FileCodeCrc, WorkedExample) {
    EXPECT_EQ(FileCodeCrc("[INTERFACE]"), 0x2791);
    EXPECT_EQ(FileCodeCrc("PAGES=0"), 0x2a85);
    EXPECT_EQ(FileCodeCrc("27912a85"), 0x7da9);
}

struct CheckCase {
    const char* name;
    std::string contents;
    bool valid;
};

class CheckConfigFileTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckConfigFileTest, AcceptsOnlyAnExactLine) {
    TempDir dir;
    WriteFile(dir.File("config.ini"), GetParam().contents);
    EXPECT_EQ(CheckConfigFile(dir.File("config.ini")), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckConfigFileTest,
    ::testing::Values(
        CheckCase{"worked_example", "[INTERFACE]\nPAGES=0\nFILECODE:7da9\n", true},
        CheckCase{"crlf_reads_the_same", "[INTERFACE]\r\nPAGES=0\r\nFILECODE:7da9\r\n", true},
        CheckCase{"code_line_first", "FILECODE:7da9\n[INTERFACE]\nPAGES=0\n", true},
        CheckCase{"no_final_line_end", "[INTERFACE]\nPAGES=0\nFILECODE:7da9", true},
        CheckCase{"upper_case_digits", "[INTERFACE]\nPAGES=0\nFILECODE:7DA9\n", false},
        CheckCase{"space_after", "[INTERFACE]\nPAGES=0\nFILECODE:7da9 \n", false},
        CheckCase{"space_before", "[INTERFACE]\nPAGES=0\n FILECODE:7da9\n", false},
        CheckCase{"empty_line_added", "[INTERFACE]\n\nPAGES=0\nFILECODE:7da9\n", false},
        CheckCase{"lone_cr_is_hashed", "[INTERFACE]\r\rPAGES=0\nFILECODE:7da9\n", false},
        CheckCase{"no_code_line", "[INTERFACE]\nPAGES=0\n", false},
        CheckCase{"only_last_code_line_counts",
                  "[INTERFACE]\nFILECODE:0000\nPAGES=0\nFILECODE:7da9\n", true},
        CheckCase{"earlier_good_line_does_not_count",
                  "[INTERFACE]\nFILECODE:7da9\nPAGES=0\nFILECODE:0000\n", false},
        CheckCase{"key_holding_prefix_is_a_code_line",
                  "[INTERFACE]\nNOTE=FILECODE:x\nPAGES=0\nFILECODE:7da9\n", true},
        CheckCase{"key_holding_prefix_last_is_compared",
                  "[INTERFACE]\nPAGES=0\nFILECODE:7da9\nNOTE=FILECODE:7da9\n", false},
        CheckCase{"only_a_code_line", "FILECODE:0000\n", true},
        CheckCase{"only_a_wrong_code_line", "FILECODE:0001\n", false},
        CheckCase{"ctrl_z_ends_the_file",
                  std::string("[INTERFACE]\nPAGES=0\nFILECODE:7da9\n\x1aGARBAGE\n"), true},
        CheckCase{"code_line_after_ctrl_z",
                  std::string("[INTERFACE]\nPAGES=0\n\x1a"
                              "FILECODE:7da9\n"),
                  false}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(CheckConfigFile, MissingOrUnreadableFileIsRefused) {
    TempDir dir;
    EXPECT_FALSE(CheckConfigFile(dir.File("missing.ini")));
    EXPECT_FALSE(CheckConfigFile(dir.path()));
    EXPECT_FALSE(ExamineConfigFile(dir.path()).readable);
}

TEST(ExamineConfigText, ReportsStoredAndExpectedLines) {
    const FileCodeReport report = ExamineConfigText("[INTERFACE]\nPAGES=0\nFILECODE:1234\n");
    EXPECT_EQ(report.stored_line, "FILECODE:1234");
    EXPECT_EQ(report.expected_line, "FILECODE:7da9");
    EXPECT_FALSE(report.matches());
}

}  // namespace
}  // namespace fendrel
