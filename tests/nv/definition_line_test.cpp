#include "nv/definition_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fendrel {
namespace {

using Type = NvFieldType;

struct Expected {
    std::string name;
    std::uint16_t id;
    NvAccess access;
    std::vector<NvFieldType> types = {};
    std::vector<std::string> labels = {};
};

struct LineCase {
    const char* title;
    std::string line;
    std::optional<Expected> expected;  // none: the line defines nothing
};

// Names the case in test listings (instead of a dump of its bytes).
void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.title;
}

class DefinitionLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(DefinitionLineTest, Parses) {
    const std::optional<NvDefinitionLine> parsed = ParseDefinitionLine(GetParam().line);
    const std::optional<Expected>& expected = GetParam().expected;
    ASSERT_EQ(parsed.has_value(), expected.has_value());
    if (!expected)
        return;
    EXPECT_EQ(parsed->name, expected->name);
    EXPECT_EQ(parsed->definition.id, expected->id);
    EXPECT_EQ(parsed->definition.access, expected->access);
    EXPECT_EQ(parsed->definition.field_types, expected->types);
    EXPECT_EQ(parsed->definition.field_labels, expected->labels);
}

const std::string kLongPiece(kMaxDefinitionPieceLength, 'n');

INSTANTIATE_TEST_SUITE_P(
    Grammar, DefinitionLineTest,
    ::testing::Values(
        // The usual lines.
        LineCase{"sample", "SAMPLE_ITEM,42,ReadWrite,<BYTE,mode>,<WORD,channel>",
                 Expected{"SAMPLE_ITEM",
                          42,
                          NvAccess::kReadWrite,
                          {Type::kByte, Type::kWord},
                          {"BYTE,mode", "WORD,channel"}}},
        LineCase{"no_fields", "OTHER,7,Read", Expected{"OTHER", 7, NvAccess::kRead}},
        LineCase{"three_pieces", "A,5,Read", Expected{"A", 5, NvAccess::kRead}},
        // Fewer than two commas.
        LineCase{"one_comma", "A,5", std::nullopt}, LineCase{"trailing_comma", "A5,", std::nullopt},
        LineCase{"empty", "", std::nullopt},
        LineCase{"comment", "; NV items of the station", std::nullopt},
        // Item numbers as atoi reads them, low 16 bits kept.
        LineCase{"id_low_16_bits", "A,70000,Read", Expected{"A", 4464, NvAccess::kRead}},
        LineCase{"id_leading_space_and_sign", "A, \t+12,Read", Expected{"A", 12, NvAccess::kRead}},
        LineCase{"id_negative", "A,-1,Read", Expected{"A", 65535, NvAccess::kRead}},
        LineCase{"id_stops_at_non_digit", "A,12ab,Read", Expected{"A", 12, NvAccess::kRead}},
        LineCase{"id_without_digits", "A,abc,Read", Expected{"A", 0, NvAccess::kRead}},
        LineCase{"id_far_beyond_32_bits", "A,4294967297,Read", Expected{"A", 1, NvAccess::kRead}},
        LineCase{"empty_name", ",3,Write", Expected{"", 3, NvAccess::kWrite}},
        // Access words by substring, case-sensitive, in order.
        LineCase{"read_only", "A,1,ReadOnly", Expected{"A", 1, NvAccess::kRead}},
        LineCase{"write_only", "A,1,WriteOnly", Expected{"A", 1, NvAccess::kWrite}},
        LineCase{"read_write_underscore", "A,1,Read_Write", Expected{"A", 1, NvAccess::kReadWrite}},
        LineCase{"write_read_is_read", "A,1,WriteRead", Expected{"A", 1, NvAccess::kRead}},
        LineCase{"rw", "A,1,RW", std::nullopt}, LineCase{"lower_case", "A,1,read", std::nullopt},
        LineCase{"access_word_ends_at_third_comma", "A,1,Mode,Read", std::nullopt},
        // Type words by substring, in order.
        LineCase{"unsigned_word_is_signed_word", "A,1,Read,<UNSIGNED_WORD,x>",
                 Expected{"A", 1, NvAccess::kRead, {Type::kSignedWord}, {"UNSIGNED_WORD,x"}}},
        LineCase{"dword_array_is_dword", "A,1,Read,<DWORD_ARRAY,x>",
                 Expected{"A", 1, NvAccess::kRead, {Type::kDword}, {"DWORD_ARRAY,x"}}},
        LineCase{"every_type",
                 "A,1,Read,<SIGNED_BYTE,a>,<BYTE,b>,<SIGNED_DWORD,c>,<DWORD,d>,<SIGNED_WORD,e>,"
                 "<WORD,f>",
                 Expected{"A",
                          1,
                          NvAccess::kRead,
                          {Type::kSignedByte, Type::kByte, Type::kSignedDword, Type::kDword,
                           Type::kSignedWord, Type::kWord},
                          {"SIGNED_BYTE,a", "BYTE,b", "SIGNED_DWORD,c", "DWORD,d", "SIGNED_WORD,e",
                           "WORD,f"}}},
        LineCase{"unknown_type_skips_line", "A,1,Read,<BYTE,a>,<CHAR,b>", std::nullopt},
        // Where fields begin and end.
        LineCase{"label_without_close_takes_rest", "A,1,Read,<BYTE,x,<WORD,y",
                 Expected{"A", 1, NvAccess::kRead, {Type::kByte}, {"BYTE,x,<WORD,y"}}},
        LineCase{"open_without_comma_ends_list", "A,1,Read,<BYTE,x>,<WORD>",
                 Expected{"A", 1, NvAccess::kRead, {Type::kByte}, {"BYTE,x"}}},
        LineCase{"type_word_runs_to_the_comma", "A,1,Read,<WORD>,<x>",
                 Expected{"A", 1, NvAccess::kRead, {Type::kWord}, {"WORD"}}},
        LineCase{"fields_searched_from_line_start", "A<B,1,Read,<BYTE,x>", std::nullopt},
        LineCase{
            "text_between_fields_ignored", "A,1,Read,junk<BYTE,x>junk<WORD,y>",
            Expected{"A", 1, NvAccess::kRead, {Type::kByte, Type::kWord}, {"BYTE,x", "WORD,y"}}},
        // Length limits: a piece may hold 1023 characters; one more skips the whole line.
        LineCase{"name_at_limit", kLongPiece + ",1,Read", Expected{kLongPiece, 1, NvAccess::kRead}},
        LineCase{"name_over_limit", kLongPiece + "n,1,Read", std::nullopt},
        LineCase{"id_over_limit", "A," + std::string(1024, ' ') + ",Read", std::nullopt},
        LineCase{"access_over_limit", "A,1,Read" + std::string(1020, 'x'), std::nullopt},
        LineCase{"type_word_over_limit", "A,1,Read,<BYTE" + std::string(1020, 'x') + ",y>",
                 std::nullopt},
        LineCase{"label_over_limit", "A,1,Read,<BYTE," + std::string(1019, 'y') + ">",
                 std::nullopt},
        LineCase{
            "label_at_limit", "A,1,Read,<BYTE," + std::string(1018, 'y') + ">",
            Expected{"A", 1, NvAccess::kRead, {Type::kByte}, {"BYTE," + std::string(1018, 'y')}}},
        LineCase{"line_at_limit", "A,1,Read," + std::string(4086, 'z'),
                 Expected{"A", 1, NvAccess::kRead}},
        LineCase{"line_over_limit", "A,1,Read," + std::string(4087, 'z'), std::nullopt},
        // A NUL ends the line.
        LineCase{"nul_ends_line", std::string("A,1,Read\0,<CHAR,x>", 18),
                 Expected{"A", 1, NvAccess::kRead}},
        LineCase{"nul_before_second_comma", std::string("A,1\0,Read", 9), std::nullopt}),
    [](const auto& case_info) { return std::string(case_info.param.title); });

}  // namespace
}  // namespace fendrel
