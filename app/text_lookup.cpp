#include "app/text_lookup.h"

#include <climits>
#include <mutex>
#include <string_view>

#include "app/string_table.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace fendrel {
namespace {

constexpr std::string_view kSeparator = ";;;";

// The number before the separator, read as the C runtime's atoi reads it: leading white space,
// an optional sign, digits up to the first non-digit; 0 without digits, saturated on overflow.
std::int32_t ReadTextNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            break;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<std::int32_t>(value);
}

void ReplaceEscapedLineBreaks(std::string& text) {
    std::size_t at = 0;
    while ((at = text.find("\\n", at)) != std::string::npos) {
        text.replace(at, 2, "\n");
        ++at;
    }
}

const std::map<std::int32_t, std::string>& Overrides() {
    static std::once_flag once;
    static std::map<std::int32_t, std::string> overrides;
    std::call_once(once, [] { overrides = ReadTextOverrides(TextOverridePath()); });
    return overrides;
}

}  // namespace

std::map<std::int32_t, std::string> ReadTextOverrides(const std::string& path) {
    std::map<std::int32_t, std::string> overrides;
    platform::TextModeReader reader(path);
    std::string line;
    for (;;) {
        const auto result = reader.ReadLine(line, kMaxOverrideLineLength);
        if (result == platform::TextModeReader::Result::kEnd)
            break;
        if (result == platform::TextModeReader::Result::kTooLong || line.empty())
            continue;

        const std::size_t separator = line.find(kSeparator);
        if (separator == std::string::npos || separator == 0)
            continue;
        std::string text = line.substr(separator + kSeparator.size());
        if (const std::size_t cr = text.find('\r'); cr != std::string::npos)
            text.erase(cr, 1);
        if (text.empty())
            continue;
        ReplaceEscapedLineBreaks(text);
        overrides[ReadTextNumber(std::string_view(line).substr(0, separator))] = std::move(text);
    }
    return overrides;
}

std::string TextOverridePath() {
    return platform::ProgramDirectory() + platform::NativePath("resource\\resource.txt");
}

std::string GetText(int id) {
    const auto& overrides = Overrides();
    if (const auto found = overrides.find(id); found != overrides.end())
        return found->second;
    return std::string(StringTableText(id));
}

}  // namespace fendrel
