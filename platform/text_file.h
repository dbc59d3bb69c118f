// Reading text files line by line as the Windows C runtime reads them in text mode.
//
// Files the product shares with Windows stations (config.ini, resource.txt, the NV definition
// file) must read the same on every platform: a CR LF pair and a lone LF both end a line, a CR
// that is not followed by LF is an ordinary character, a Ctrl-Z byte ends the file, and a last
// line without a line end is still a line.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace platform {

class TextModeReader {
  public:
    enum class Result {
        kLine,     // `line` holds the next line, without its line end
        kTooLong,  // the next line was longer than the limit; it was consumed and dropped
        kEnd,      // no more lines
    };

    // Opens `path`, which must be a regular file (platform::OpenInputFile); is_open() tells
    // whether that worked.
    explicit TextModeReader(const std::string& path);

    bool is_open() const { return file_ != nullptr; }
    // Whether reading stopped on a read error (a failing disk) rather than at the end.
    bool failed() const { return failed_; }
    // Why the file could not be opened or read; empty while neither happened.
    const std::string& error() const { return error_; }

    // Reads the next line. A line longer than `max_length` characters is never held in memory
    // whole: it is skipped to its end and reported as kTooLong.
    Result ReadLine(std::string& line,
                    std::size_t max_length = std::numeric_limits<std::size_t>::max());

  private:
    static constexpr int kEnd = -1;

    int Next();  // next byte after text-mode translation, or kEnd
    int Peek();  // next byte of the file, left to be read, or kEnd
    int Take();  // next byte of the file, or kEnd

    std::unique_ptr<InputFile> file_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t position_ = 0;  // in buffer_
    std::size_t held_ = 0;      // bytes in buffer_
    bool at_end_ = false;
    bool failed_ = false;
    std::string error_;
};

// Where one line lies in a text held in memory: its text is [begin, text_end), its line end
// (CR LF, LF or nothing for a last line without one) is [text_end, line_end).
struct TextLineSpan {
    std::size_t begin;
    std::size_t text_end;
    std::size_t line_end;
};

// The lines of `bytes` by the same rules as TextModeReader; nothing from the first Ctrl-Z on
// belongs to any line. For tools that must rewrite a file and keep every other byte.
std::vector<TextLineSpan> TextModeLines(std::string_view bytes);

// The position of the first Ctrl-Z in `bytes` (the end of the text), or bytes.size().
std::size_t TextModeEnd(std::string_view bytes);

}  // namespace platform
