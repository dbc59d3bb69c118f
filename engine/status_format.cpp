#include "engine/status_format.h"

#include <algorithm>
#include <cstdio>

namespace fendrel {
namespace {

bool IsIn(char c, std::string_view set) {
    return c != '\0' && set.find(c) != std::string_view::npos;
}

// Widths and precisions beyond this are not taken as conversions: a text should not be able to
// make a status line megabytes long.
constexpr std::size_t kMaxWidthDigits = 2;

// Skips at most kMaxWidthDigits digits at format[i]; false when there are more.
bool SkipNumber(std::string_view format, std::size_t& i) {
    std::size_t digits = 0;
    while (i < format.size() && IsIn(format[i], "0123456789")) {
        ++i;
        ++digits;
    }
    return digits <= kMaxWidthDigits;
}

// The length of the conversion starting at format[0] == '%' if it is one we fill, else 0.
std::size_t IntegerConversionLength(std::string_view format) {
    std::size_t i = 1;
    while (i < format.size() && IsIn(format[i], "-+ #0"))
        ++i;
    if (!SkipNumber(format, i))
        return 0;
    if (i < format.size() && format[i] == '.') {
        ++i;
        if (!SkipNumber(format, i))
            return 0;
    }
    while (i < format.size() && IsIn(format[i], "hlLqjzt"))
        ++i;
    if (i < format.size() && IsIn(format[i], "diuxXo"))
        return i + 1;
    return 0;
}

// One conversion with one number: the length modifiers are dropped, as the number is an int.
std::string FormatOne(std::string_view conversion, unsigned number) {
    std::string directive;
    for (const char c : conversion) {
        if (!IsIn(c, "hlLqjzt"))
            directive += c;
    }
    char buffer[256];
    const int length = std::snprintf(buffer, sizeof buffer, directive.c_str(), number);
    if (length < 0)
        return std::string(conversion);
    return std::string(buffer,
                       std::min<std::size_t>(static_cast<std::size_t>(length), sizeof buffer - 1));
}

// Copies `format`, turning "%%" into a percent sign and letting `fill` replace conversions:
// given the text from a '%' on, it appends its replacement and answers the conversion's length,
// or answers 0 to keep that '%' as written.
template <typename Fill>
std::string FillConversions(std::string_view format, Fill fill) {
    std::string text;
    std::size_t i = 0;
    while (i < format.size()) {
        const std::size_t percent = format.find('%', i);
        if (percent == std::string_view::npos) {
            text.append(format.substr(i));
            break;
        }
        text.append(format.substr(i, percent - i));
        const std::string_view rest = format.substr(percent);
        if (rest.size() >= 2 && rest[1] == '%') {
            text += '%';
            i = percent + 2;
            continue;
        }
        const std::size_t length = fill(rest, text);
        if (length == 0) {
            text += '%';
            i = percent + 1;
            continue;
        }
        i = percent + length;
    }
    return text;
}

}  // namespace

std::string FormatNumbers(std::string_view format, std::initializer_list<unsigned> numbers) {
    const unsigned* next = numbers.begin();
    return FillConversions(format, [&](std::string_view rest, std::string& text) {
        const std::size_t length = IntegerConversionLength(rest);
        if (length == 0 || next == numbers.end())
            return std::size_t{0};
        text.append(FormatOne(rest.substr(0, length), *next++));
        return length;
    });
}

std::string FormatName(std::string_view format, std::string_view name) {
    bool filled = false;
    return FillConversions(format, [&](std::string_view rest, std::string& text) {
        if (filled || !rest.starts_with("%s"))
            return std::size_t{0};
        filled = true;
        text.append(name);
        return std::size_t{2};
    });
}

}  // namespace fendrel
