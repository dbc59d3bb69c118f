// One line of the NV structure definition file ("NV Decoder.zdf").
//
// A line names an item, gives its number and access, and lists the fields of its payload:
//     SAMPLE_ITEM,42,ReadWrite,<BYTE,mode>,<WORD,channel>
// Every line stands on its own; one that does not fit is skipped without a word, so comment lines
// and blank lines need no syntax of their own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "nv/nv_item.h"

namespace fendrel {

// The longest line, and the longest piece cut out of one (name, number, access word, type word,
// label), that the file may hold. A line over either limit is skipped whole: cutting it would
// give an item a name or a field it does not have.
inline constexpr std::size_t kMaxDefinitionLineLength = 4095;
inline constexpr std::size_t kMaxDefinitionPieceLength = 1023;

struct NvDefinitionLine {
    std::string name;
    NvItemDefinition definition;
};

// The definition `line` (without its line end) holds, or none when the line does not fit.
//
// The rules, where every position is the first occurrence searched from the point given:
//  - the name is the text before the first comma, the number the text between it and the
//    second comma (decimal as the C runtime's atoi reads it, kept as its low 16 bits); a line
//    with fewer than two commas holds nothing;
//  - the access word runs from the second comma to the third, or to the end of the line, and is
//    classified by substring: "ReadWrite" or "Read_Write" read-write, else "Read" read, else
//    "Write" write; any other word skips the line;
//  - fields are searched from the beginning of the line: a "<", then a comma after it. The type
//    word lies between the two; the label between the "<" and the next ">" (so it keeps the type
//    word: <WORD,channel> is labelled "WORD,channel"), or the rest of the line when no ">"
//    follows, which ends the list. The next field is searched from that ">". A type word is
//    classified by substring in the order SIGNED_BYTE, BYTE, SIGNED_DWORD, DWORD, SIGNED_WORD,
//    WORD; one that contains none of them skips the line.
// A line ends at a NUL byte, as on the stations, which read it into a C string.
std::optional<NvDefinitionLine> ParseDefinitionLine(std::string_view line);

}  // namespace fendrel
