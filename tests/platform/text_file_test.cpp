#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

std::vector<std::string> ReadLines(const std::string& bytes) {
    TempDir dir;
    WriteFile(dir.File("t.txt"), bytes);
    TextModeReader reader(dir.File("t.txt"));
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(line) == TextModeReader::Result::kLine)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> SpanLines(std::string_view bytes) {
    std::vector<std::string> lines;
    for (const TextLineSpan& span : TextModeLines(bytes)) {
        lines.emplace_back(bytes.substr(span.begin, span.text_end - span.begin));
    }
    return lines;
}

struct LineCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

class TextModeLinesTest : public ::testing::TestWithParam<LineCase> {};

// The streaming reader and the in-memory splitter must agree on every case.
TEST_P(TextModeLinesTest, SplitsAsTheWindowsRuntime) {
    EXPECT_EQ(ReadLines(GetParam().bytes), GetParam().lines);
    EXPECT_EQ(SpanLines(GetParam().bytes), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextModeLinesTest,
    ::testing::Values(LineCase{"lf", "a\nb\n", {"a", "b"}},
                      LineCase{"crlf", "a\r\nb\r\n", {"a", "b"}},
                      LineCase{"last_line_without_end", "a\nb", {"a", "b"}},
                      LineCase{"empty_lines", "\n\r\n\n", {"", "", ""}},
                      LineCase{"lone_cr_is_text", "a\rb\r\r\n", {"a\rb\r"}},
                      LineCase{"ctrl_z_ends_file",
                               std::string("a\nb\x1a"
                                           "c\nd\n"),
                               {"a", "b"}},
                      LineCase{"cr_before_ctrl_z", std::string("a\r\x1a\n"), {"a\r"}},
                      // The reader's blocks are 64 KiB: the CR ends one, the LF begins the next.
                      LineCase{"crlf_across_read_blocks",
                               std::string(65535, 'x') + "\r\nb",
                               {std::string(65535, 'x'), "b"}},
                      LineCase{"empty_file", "", {}}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(TextModeReader, OverlongLineIsDroppedWholeAndReadingGoesOn) {
    TempDir dir;
    WriteFile(dir.File("t.txt"), std::string(5000, 'x') + "\nnext\n");
    TextModeReader reader(dir.File("t.txt"));
    std::string line;
    EXPECT_EQ(reader.ReadLine(line, 1023), TextModeReader::Result::kTooLong);
    EXPECT_TRUE(line.empty());
    EXPECT_EQ(reader.ReadLine(line, 1023), TextModeReader::Result::kLine);
    EXPECT_EQ(line, "next");
    EXPECT_EQ(reader.ReadLine(line, 1023), TextModeReader::Result::kEnd);
}

TEST(TextModeReader, LineOfExactlyTheLimitIsKept) {
    TempDir dir;
    WriteFile(dir.File("t.txt"), std::string(1023, 'y'));
    TextModeReader reader(dir.File("t.txt"));
    std::string line;
    EXPECT_EQ(reader.ReadLine(line, 1023), TextModeReader::Result::kLine);
    EXPECT_EQ(line.size(), 1023u);
}

TEST(TextModeReader, MissingFileIsNotOpenAndHasNoLines) {
    TextModeReader reader("/nonexistent/t.txt");
    std::string line;
    EXPECT_FALSE(reader.is_open());
    EXPECT_EQ(reader.ReadLine(line), TextModeReader::Result::kEnd);
}

}  // namespace
}  // namespace platform
