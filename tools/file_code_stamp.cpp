#include "tools/file_code_stamp.h"

#include "app/file_code.h"
#include "platform/text_file.h"

namespace fendrel {

std::string StampConfigText(std::string_view bytes) {
    const std::string code_line = ExamineConfigText(bytes).expected_line;
    const std::vector<platform::TextLineSpan> lines = platform::TextModeLines(bytes);

    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::string_view text = bytes.substr(line->begin, line->text_end - line->begin);
        if (!IsFileCodeLine(text))
            continue;
        if (!text.starts_with(kFileCodePrefix))
            break;
        std::string stamped(bytes.substr(0, line->begin));
        stamped += code_line;
        stamped += bytes.substr(line->text_end);
        return stamped;
    }

    const std::string_view line_end =
        !lines.empty() && lines.front().line_end - lines.front().text_end == 2 ? "\r\n" : "\n";
    const std::size_t text_end = platform::TextModeEnd(bytes);
    std::string stamped(bytes.substr(0, text_end));
    if (!lines.empty() && lines.back().line_end == lines.back().text_end) {
        // A CR at the end of the unterminated last line would merge with an LF into one line
        // end and drop out of the line's text; CR LF after it keeps the text as it was.
        stamped += stamped.ends_with('\r') ? std::string_view("\r\n") : line_end;
    }
    stamped += code_line;
    stamped += line_end;
    stamped += bytes.substr(text_end);
    return stamped;
}

}  // namespace fendrel
