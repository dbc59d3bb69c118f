#include "app/file_code.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/text_file.h"

namespace fendrel {
namespace {

std::string Hex4(std::uint16_t value) {
    char text[5];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

}  // namespace

FileCodeReport ExamineConfigText(std::string_view bytes) {
    FileCodeReport report;
    report.readable = true;
    std::string accumulator;
    for (const platform::TextLineSpan& span : platform::TextModeLines(bytes)) {
        const std::string_view line = bytes.substr(span.begin, span.text_end - span.begin);
        if (IsFileCodeLine(line)) {
            report.stored_line = line;
        } else {
            accumulator += Hex4(FileCodeCrc(line));
        }
    }
    report.expected_line = std::string(kFileCodePrefix) + Hex4(FileCodeCrc(accumulator));
    return report;
}

FileCodeReport ExamineConfigFile(const std::string& path) {
    FileCodeReport unread;
    const std::optional<std::string> bytes =
        platform::ReadFileBytes(path, platform::kMaxProfileFileSize, &unread.error);
    if (!bytes)
        return unread;
    return ExamineConfigText(*bytes);
}

bool CheckConfigFile(const std::string& path) {
    return ExamineConfigFile(path).matches();
}

}  // namespace fendrel
