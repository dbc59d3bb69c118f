#include "platform/profile.h"

#include <cstdint>

#include "platform/ascii.h"

namespace platform {
namespace {

// Characters the Windows loader treats as white space around lines, names and values.
bool IsProfileSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsProfileSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsProfileSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view WithoutQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string CutToBuffer(std::string_view text, std::size_t buffer_size) {
    if (buffer_size == 0)
        return {};
    return std::string(text.substr(0, buffer_size - 1));
}

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::optional<std::string_view> FindProfileValue(std::string_view contents,
                                                 std::string_view section, std::string_view key) {
    section = Trim(section);
    key = Trim(key);
    if (contents.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        contents.remove_prefix(kUtf8ByteOrderMark.size());
    }
    bool in_wanted_section = false;
    while (!contents.empty()) {
        // A CR alone ends a line too, as it does for the Windows loader.
        const std::size_t line_end = contents.find_first_of("\r\n");
        const std::string_view line = Trim(contents.substr(0, line_end));
        contents.remove_prefix(line_end == std::string_view::npos ? contents.size() : line_end + 1);
        if (line.empty())
            continue;

        if (line.front() == '[') {
            const std::size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                // Only the first section of the name is searched: leaving it ends the search.
                if (in_wanted_section)
                    return std::nullopt;
                const std::string_view name = Trim(line.substr(1, close - 1));
                in_wanted_section = !name.empty() && EqualsIgnoringAsciiCase(name, section);
                continue;
            }
        }
        if (!in_wanted_section)
            continue;

        const std::size_t equals = line.find('=');
        const std::string_view name = Trim(line.substr(0, equals));
        if (!EqualsIgnoringAsciiCase(name, key))
            continue;
        if (equals == std::string_view::npos)
            return std::nullopt;  // first match has no value
        return Trim(line.substr(equals + 1));
    }
    return std::nullopt;
}

std::string ProfileString(const std::optional<std::string>& contents, std::string_view section,
                          std::string_view key, std::string_view default_value,
                          std::size_t buffer_size) {
    while (!default_value.empty() && default_value.back() == ' ')
        default_value.remove_suffix(1);
    std::optional<std::string_view> value;
    if (contents)
        value = FindProfileValue(*contents, section, key);
    return CutToBuffer(WithoutQuotes(value.value_or(default_value)), buffer_size);
}

int ParseProfileInt(std::string_view text) {
    text = text.substr(0, kProfileIntBufferSize - 1);
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    std::uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == '0') {
        switch (text[i + 1]) {
            case 'x':
                base = 16;
                break;
            case 'o':
                base = 8;
                break;
            case 'b':
                base = 2;
                break;
            default:
                break;
        }
        if (base != 10)
            i += 2;
    }

    std::uint32_t total = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        std::uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'z') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'Z') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            break;
        }
        if (digit >= base)
            break;
        total = total * base + digit;
    }
    if (negative)
        total = 0u - total;
    return static_cast<int>(total);
}

}  // namespace platform
