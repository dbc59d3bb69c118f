#include "nv/definition_line.h"

#include <cstdint>
#include <utility>

namespace fendrel {
namespace {

// Substring classifications, tried in order: the first word the text contains decides.
constexpr std::pair<std::string_view, NvAccess> kAccessWords[] = {
    {"ReadWrite", NvAccess::kReadWrite},
    {"Read_Write", NvAccess::kReadWrite},
    {"Read", NvAccess::kRead},
    {"Write", NvAccess::kWrite},
};

// SIGNED_ before the plain word, and DWORD before WORD, since each longer word contains the
// shorter one.
constexpr std::pair<std::string_view, NvFieldType> kTypeWords[] = {
    {"SIGNED_BYTE", NvFieldType::kSignedByte},   {"BYTE", NvFieldType::kByte},
    {"SIGNED_DWORD", NvFieldType::kSignedDword}, {"DWORD", NvFieldType::kDword},
    {"SIGNED_WORD", NvFieldType::kSignedWord},   {"WORD", NvFieldType::kWord},
};

template <typename T, std::size_t N>
std::optional<T> Classify(std::string_view text, const std::pair<std::string_view, T> (&words)[N]) {
    for (const auto& [word, value] : words) {
        if (text.find(word) != std::string_view::npos)
            return value;
    }
    return std::nullopt;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Leading white space, an optional sign, then digits up to the first non-digit; no digits is 0.
// Unsigned 16-bit arithmetic wraps, which keeps exactly the low 16 bits of the number however
// long it is.
std::uint16_t ParseItemId(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint16_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = static_cast<std::uint16_t>(value * 10u + static_cast<unsigned>(text[i] - '0'));
    return negative ? static_cast<std::uint16_t>(0u - value) : value;
}

bool FitsPiece(std::string_view piece) {
    return piece.size() <= kMaxDefinitionPieceLength;
}

}  // namespace

std::optional<NvDefinitionLine> ParseDefinitionLine(std::string_view line) {
    constexpr auto npos = std::string_view::npos;
    line = line.substr(0, line.find('\0'));
    if (line.size() > kMaxDefinitionLineLength)
        return std::nullopt;

    const std::size_t c1 = line.find(',');
    const std::size_t c2 = c1 == npos ? npos : line.find(',', c1 + 1);
    if (c2 == npos)
        return std::nullopt;
    const std::size_t c3 = line.find(',', c2 + 1);

    const std::string_view name = line.substr(0, c1);
    const std::string_view id_text = line.substr(c1 + 1, c2 - c1 - 1);
    const std::string_view access_word =
        c3 == npos ? line.substr(c2 + 1) : line.substr(c2 + 1, c3 - c2 - 1);
    if (!FitsPiece(name) || !FitsPiece(id_text) || !FitsPiece(access_word))
        return std::nullopt;
    const std::optional<NvAccess> access = Classify(access_word, kAccessWords);
    if (!access)
        return std::nullopt;

    NvDefinitionLine result{std::string(name), {ParseItemId(id_text), *access, {}, {}}};
    for (std::size_t from = 0;;) {
        const std::size_t open = line.find('<', from);
        const std::size_t comma = open == npos ? npos : line.find(',', open + 1);
        if (comma == npos)
            break;
        const std::size_t close = line.find('>', open + 1);
        const std::string_view type_word = line.substr(open + 1, comma - open - 1);
        const std::string_view label =
            close == npos ? line.substr(open + 1) : line.substr(open + 1, close - open - 1);
        if (!FitsPiece(type_word) || !FitsPiece(label))
            return std::nullopt;
        const std::optional<NvFieldType> type = Classify(type_word, kTypeWords);
        if (!type)
            return std::nullopt;
        result.definition.field_types.push_back(*type);
        result.definition.field_labels.emplace_back(label);
        if (close == npos)
            break;
        from = close;
    }
    return result;
}

}  // namespace fendrel
