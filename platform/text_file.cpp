#include "platform/text_file.h"

namespace platform {
namespace {
constexpr int kCtrlZ = 0x1A;
constexpr std::size_t kReadBlock = 64 * 1024;
}  // namespace

TextModeReader::TextModeReader(const std::string& path) {
    file_ = OpenInputFile(path, &error_);
    if (file_ != nullptr)
        buffer_ = std::make_unique_for_overwrite<unsigned char[]>(kReadBlock);
}

int TextModeReader::Peek() {
    if (position_ == held_) {
        if (file_ == nullptr || failed_)
            return kEnd;
        const std::optional<std::size_t> got = file_->Read(buffer_.get(), kReadBlock);
        if (!got) {
            failed_ = true;
            error_ = file_->error();
        }
        position_ = 0;
        held_ = got.value_or(0);
        if (held_ == 0)
            return kEnd;
    }
    return buffer_[position_];
}

int TextModeReader::Take() {
    const int c = Peek();
    if (c != kEnd)
        ++position_;
    return c;
}

int TextModeReader::Next() {
    if (at_end_)
        return kEnd;
    int c = Take();
    if (c == '\r' && Peek() == '\n')
        c = Take();
    if (c == kCtrlZ || c == kEnd) {
        at_end_ = true;
        return kEnd;
    }
    return c;
}

TextModeReader::Result TextModeReader::ReadLine(std::string& line, std::size_t max_length) {
    line.clear();
    if (file_ == nullptr)
        return Result::kEnd;
    bool too_long = false;
    int c = Next();
    if (c == kEnd)
        return Result::kEnd;
    for (; c != kEnd && c != '\n'; c = Next()) {
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
