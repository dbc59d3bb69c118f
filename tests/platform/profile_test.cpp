#include "platform/profile.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

struct StringCase {
    const char* name;
    const char* contents;
    const char* section;
    const char* key;
    const char* expected;  // with default "dflt"
};

class ProfileStringTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(ProfileStringTest, ReadsAsTheWindowsCallDoes) {
    const StringCase& c = GetParam();
    TempDir dir;
    WriteFile(dir.File("p.ini"), c.contents);
    EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "dflt", 1024, dir.File("p.ini")),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    WindowsRules, ProfileStringTest,
    ::testing::Values(StringCase{"plain", "[S]\nK=v\n", "S", "K", "v"},
                      StringCase{"section_case", "[Sec]\nK=v\n", "sEC", "K", "v"},
                      StringCase{"key_case", "[S]\nKey=v\n", "S", "kEY", "v"},
                      StringCase{"missing_key", "[S]\nK=v\n", "S", "X", "dflt"},
                      StringCase{"missing_section", "[S]\nK=v\n", "T", "K", "dflt"},
                      StringCase{"first_section_wins", "[S]\nA=1\n[S]\nK=2\n", "S", "K", "dflt"},
                      StringCase{"first_key_wins", "[S]\nK=1\nK=2\n", "S", "K", "1"},
                      StringCase{"trimmed", "[S]\n \t K \t=  v w \t\n", "S", "K", "v w"},
                      StringCase{"section_line_trimmed", "  [S]  \nK=v\n", "S", "K", "v"},
                      StringCase{"section_name_trimmed", "[ S\t]\nK=v\n", "S", "K", "v"},
                      StringCase{"last_bracket_closes", "[S]x]\nK=v\n", "S]x", "K", "v"},
                      StringCase{"no_closing_bracket_is_key", "[S]\n[K=v\n", "S", "[K", "v"},
                      StringCase{"double_quotes", "[S]\nK=\"a b\"\n", "S", "K", "a b"},
                      StringCase{"single_quotes", "[S]\nK='a b'\n", "S", "K", "a b"},
                      StringCase{"one_pair_only", "[S]\nK=\"\"a\"\"\n", "S", "K", "\"a\""},
                      StringCase{"unmatched_quotes_kept", "[S]\nK=\"a'\n", "S", "K", "\"a'"},
                      StringCase{"lone_quote_kept", "[S]\nK=\"\n", "S", "K", "\""},
                      StringCase{"semicolon_in_value", "[S]\nK=a;b ; c\n", "S", "K", "a;b ; c"},
                      StringCase{"semicolon_line_is_a_key", "[S]\n;K=v\n", "S", ";K", "v"},
                      StringCase{"crlf", "[S]\r\nK=v\r\n", "S", "K", "v"},
                      StringCase{"cr_alone_ends_lines", "[S]\rK=v\rL=w\r", "S", "L", "w"},
                      StringCase{"cr_alone_ends_section_lines", "[T]\r[S]\rK=v", "S", "K", "v"},
                      StringCase{"no_final_line_end", "[S]\nK=v", "S", "K", "v"},
                      StringCase{"empty_value", "[S]\nK=\n", "S", "K", ""},
                      StringCase{"key_without_equals", "[S]\nK\nK=v\n", "S", "K", "dflt"},
                      StringCase{"equals_in_value", "[S]\nK==a=b\n", "S", "K", "=a=b"},
                      StringCase{"keys_before_any_section", "K=v\n[S]\n", "S", "K", "dflt"},
                      StringCase{"utf8_bom", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},
                      StringCase{"empty_key_name", "[S]\n=v\n", "S", "", "v"},
                      StringCase{"empty_key_name_missing", "[S]\nK=v\n", "S", "", "dflt"},
                      StringCase{"lookup_names_trimmed", "[S]\nK=v\n", " S ", " K ", "v"}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(ProfileString, DefaultLosesTrailingBlanksAndOnePairOfQuotes) {
    TempDir dir;
    WriteFile(dir.File("p.ini"), "[S]\nK=v\n");
    for (const std::string& path : {dir.File("missing.ini"), dir.File("p.ini")}) {
        EXPECT_EQ(GetPrivateProfileString("S", "X", "abc  ", 1024, path), "abc") << path;
        EXPECT_EQ(GetPrivateProfileString("S", "X", "\"q\"", 1024, path), "q") << path;
    }
}

TEST(ProfileString, LongValuesAreCutToTheBuffer) {
    TempDir dir;
    std::string value;
    for (int i = 0; value.size() < 5000; ++i)
        value += std::to_string(i) + ",";
    WriteFile(dir.File("p.ini"), "[S]\nK=" + value + "\nL=after\n");
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", 4096, dir.File("p.ini")),
              value.substr(0, 4095));
    EXPECT_EQ(GetPrivateProfileString("S", "L", "", 64, dir.File("p.ini")), "after");
}

TEST(ProfileString, ValueIsCutToTheBuffer) {
    TempDir dir;
    WriteFile(dir.File("p.ini"), "[S]\nK=abcdef\nQ=\"abcdef\"\n");
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", 4, dir.File("p.ini")), "abc");
    EXPECT_EQ(GetPrivateProfileString("S", "Q", "", 4, dir.File("p.ini")), "abc");
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", 7, dir.File("p.ini")), "abcdef");
}

struct IntCase {
    const char* value;
    int expected;
};

class ProfileIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileIntTest, ReadsLikeTheWindowsCall) {
    TempDir dir;
    WriteFile(dir.File("p.ini"), std::string("[S]\nK=") + GetParam().value + "\n");
    EXPECT_EQ(GetPrivateProfileInt("S", "K", -99, dir.File("p.ini")), GetParam().expected)
        << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    WindowsRules, ProfileIntTest,
    ::testing::Values(IntCase{"42", 42}, IntCase{"+7", 7}, IntCase{"-7", -7}, IntCase{"0x1F", 31},
                      IntCase{"0x1f", 31}, IntCase{"0X1F", 0}, IntCase{"-0x10", -16},
                      IntCase{"0o17", 15}, IntCase{"0b101", 5}, IntCase{"12abc", 12},
                      IntCase{"abc", 0}, IntCase{"  \t9", 9}, IntCase{"- 5", 0}, IntCase{"0x", 0},
                      IntCase{"0xg", 0}, IntCase{"08", 8}, IntCase{"4294967295", -1},
                      IntCase{"4294967296", 0},
                      // Only 29 characters take part, as in the Windows call's buffer.
                      IntCase{"00000000000000000000000000"
                              "1234",
                              123},
                      IntCase{"0000000000000000000000000"
                              "1234",
                              1234}));

TEST(ProfileInt, DefaultForMissingOrEmptyValueZeroForText) {
    TempDir dir;
    WriteFile(dir.File("p.ini"), "[S]\nEmpty=\nText=yes\nQuoted=\"12\"\nHex=0x20\n");
    const std::string path = dir.File("p.ini");
    EXPECT_EQ(GetPrivateProfileInt("S", "Missing", 5, path), 5);
    EXPECT_EQ(GetPrivateProfileInt("S", "Empty", 5, path), 5);
    EXPECT_EQ(GetPrivateProfileInt("S", "Text", 5, path), 0);
    EXPECT_EQ(GetPrivateProfileInt("S", "Quoted", 5, path), 12);
    EXPECT_EQ(GetPrivateProfileInt("S", "Hex", 5, path), 32);
    EXPECT_EQ(GetPrivateProfileInt("S", "K", -3, dir.File("missing.ini")), -3);
}

}  // namespace
}  // namespace platform
