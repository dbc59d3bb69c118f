#include "app/text_lookup.h"

#include <gtest/gtest.h>

#include <map>

#include "app/string_table.h"
#include "tests/support/temp_dir.h"

namespace fendrel {
namespace {

using testing::TempDir;
using testing::WriteFile;

std::map<std::int32_t, std::string> Overrides(const std::string& contents) {
    TempDir dir;
    WriteFile(dir.File("resource.txt"), contents);
    return ReadTextOverrides(dir.File("resource.txt"));
}

TEST(StringTable, HoldsTheNumberedTexts) {
    EXPECT_EQ(StringTableText(text::kCanNotOpenPort), "Can not open port!");
    EXPECT_EQ(StringTableText(text::kDownloadAmssHeaderFail), "Download Amss header file fail!");
    EXPECT_EQ(StringTableText(text::kMoreThanOneDevice),
              "more than one device,pls make sure only connect kesto phone");
    EXPECT_EQ(StringTableText(text::kDocumentTemplate),
              "QUEX\n\nQUEX\n\n\nQUEX.Document\nQUEX Document");
    EXPECT_EQ(StringTableText(180), "");
    EXPECT_EQ(StringTableText(-1), "");
}

TEST(TextOverrides, ReadsEntriesAndSkipsMalformedLines) {
    const auto overrides = Overrides(
        "210;;;Quit now?\n"
        ";;;no number\n"
        "12;;;\n"
        "no separator\n"
        "\n"
        "176;;;first\n"
        "176;;;second\n"
        "5;;;a\\nb\r\n"
        "0159;;;padded\n"
        "x12;;;letters\n"
        "  -3;;;negative;;;with separator\n"
        "7;;;a\rb\r\r\n"
        "99999999999;;;huge\n");
    const std::map<std::int32_t, std::string> expected = {
        {210, "Quit now?"},   {176, "second"}, {5, "a\nb"},
        {159, "padded"},      {0, "letters"},  {-3, "negative;;;with separator"},
        {7, "ab\r"},  // only the first carriage return goes
        {2147483647, "huge"},
    };
    EXPECT_EQ(overrides, expected);
}

TEST(TextOverrides, OverlongLineIsIgnoredWholeWithoutTakingItsTailForAnEntry) {
    const std::string long_line = "8;;;" + std::string(1100, 'x') + "9;;;tail";
    const auto overrides = Overrides(long_line + "\n3;;;after\n");
    EXPECT_EQ(overrides, (std::map<std::int32_t, std::string>{{3, "after"}}));

    const std::string at_limit = "8;;;" + std::string(kMaxOverrideLineLength - 4, 'y');
    EXPECT_EQ(Overrides(at_limit + "\n").at(8).size(), kMaxOverrideLineLength - 4);
}

TEST(TextOverrides, MissingFileGivesNone) {
    EXPECT_TRUE(ReadTextOverrides("/nonexistent/resource.txt").empty());
}

}  // namespace
}  // namespace fendrel
