#include "platform/text_file.h"

namespace platform {
namespace {
constexpr int kCtrlZ = 0x1A;
}

TextModeReader::TextModeReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}

TextModeReader::~TextModeReader() {
    if (file_ != nullptr)
        std::fclose(file_);
}

int TextModeReader::Next() {
    if (at_end_)
        return EOF;
    int c = std::getc(file_);
    if (c == '\r') {
        const int following = std::getc(file_);
        if (following == '\n')
            return '\n';
        if (following != EOF)
            std::ungetc(following, file_);
    }
    if (c == kCtrlZ || c == EOF) {
        at_end_ = true;
        return EOF;
    }
    return c;
}

TextModeReader::Result TextModeReader::ReadLine(std::string& line, std::size_t max_length) {
    line.clear();
    if (file_ == nullptr)
        return Result::kEnd;
    bool too_long = false;
    int c = Next();
    if (c == EOF)
        return Result::kEnd;
    for (; c != EOF && c != '\n'; c = Next()) {
        if (too_long)
            continue;
        if (line.size() == max_length) {
            too_long = true;
            line.clear();
            continue;
        }
        line.push_back(static_cast<char>(c));
    }
    return too_long ? Result::kTooLong : Result::kLine;
}

std::size_t TextModeEnd(std::string_view bytes) {
    const std::size_t ctrl_z = bytes.find(static_cast<char>(kCtrlZ));
    return ctrl_z == std::string_view::npos ? bytes.size() : ctrl_z;
}

std::vector<TextLineSpan> TextModeLines(std::string_view bytes) {
    bytes = bytes.substr(0, TextModeEnd(bytes));
    std::vector<TextLineSpan> lines;
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        const std::size_t newline = bytes.find('\n', begin);
        if (newline == std::string_view::npos) {
            lines.push_back({begin, bytes.size(), bytes.size()});
            break;
        }
        const bool crlf = newline > begin && bytes[newline - 1] == '\r';
        lines.push_back({begin, crlf ? newline - 1 : newline, newline + 1});
        begin = newline + 1;
    }
    return lines;
}

}  // namespace platform
