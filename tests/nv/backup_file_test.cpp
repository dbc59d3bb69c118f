#include "nv/backup_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace fendrel {
namespace {

using Verdict = BackupCheck::Verdict;

TEST(BackupFile, DigestBytesArePaddedWithASpace) {
    const Md5Digest digest = {0x0a, 0x00, 0x10, 0xff, 0x09, 0xab, 0x01, 0xf0,
                              0x0f, 0x5e, 0x80, 0x7a, 0x00, 0x0a, 0xa0, 0x11};
    EXPECT_EQ(FormatDigestText(digest), " a 010ff 9ab 1f0 f5e807a 0 aa011");
}

TEST(BackupFile, LineHoldsEveryValueEachFollowedByAComma) {
    NvItem item{42, {}};
    item.data[0] = 7;
    item.data[1] = 255;
    std::string expected = "42 = 7,255,";
    for (int i = 2; i < 128; ++i)
        expected += "0,";
    EXPECT_EQ(FormatBackupLine(item), expected);
}

TEST(BackupFile, TrailerWritesTheTimeWithoutLeadingZeros) {
    EXPECT_EQ(FormatBackupTrailer("", {2013, 4, 9, 8, 5, 30}), "ZNVID:,Save time:2013/4/9 8:5:30");
    EXPECT_EQ(FormatBackupTrailer("x", {2024, 12, 31, 0, 0, 0}),
              "ZNVID:x,Save time:2024/12/31 0:0:0");
}

const std::string kGolden = testing::ReadFile(FENDREL_NV_FIXTURES "golden_backup.znv");

std::string Replace(std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

std::string WithLfLineEnds(std::string text) {
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; ++at)
        text.erase(at, 1);
    return text;
}

struct CheckCase {
    const char* title;
    std::string bytes;
    Verdict verdict;
    std::size_t body_lines;
};

// Names the case in test listings (instead of a dump of its bytes).
void PrintTo(const CheckCase& c, std::ostream* out) {
    *out << c.title;
}

class BackupCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(BackupCheckTest, Checks) {
    const BackupCheck check = CheckBackupFile(GetParam().bytes);
    EXPECT_EQ(check.verdict, GetParam().verdict);
    EXPECT_EQ(check.body_lines, GetParam().body_lines);
    if (check.verdict == Verdict::kIntact) {
        EXPECT_EQ(check.save_time, "2013/4/9 8:5:30");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BackupCheckTest,
    ::testing::Values(
        CheckCase{"golden", kGolden, Verdict::kIntact, 5},
        CheckCase{"trailer_alone", "ZNVID:,Save time:2013/4/9 8:5:30\r\n", Verdict::kIntact, 0},
        // A file passed through a tool that rewrote its line ends still checks.
        CheckCase{"lf_line_ends", WithLfLineEnds(kGolden), Verdict::kIntact, 5},
        CheckCase{"value_changed", Replace(kGolden, "42 = 7,", "42 = 8,"), Verdict::kDamaged, 5},
        CheckCase{"line_lost", kGolden.substr(kGolden.find("\r\n") + 2), Verdict::kDamaged, 4},
        CheckCase{"digest_changed", Replace(kGolden, "ZNVID: 9", "ZNVID:09"), Verdict::kDamaged, 5},
        CheckCase{"cut_short", kGolden.substr(0, kGolden.find("ZNVID:")), Verdict::kNoTrailer, 0},
        CheckCase{"empty", "", Verdict::kNoTrailer, 0}),
    [](const auto& case_info) { return std::string(case_info.param.title); });

}  // namespace
}  // namespace fendrel
