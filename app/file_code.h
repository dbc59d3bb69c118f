// The integrity line of config.ini.
//
// One line of the file reads "FILECODE:" and four lower-case hex digits, a CRC over every other
// line. A station refuses to start on a file whose line does not match, so a site that edits the
// file must re-stamp it (fendrel-filecode stamp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qcom/crc16.h"

namespace fendrel {

inline constexpr std::string_view kFileCodePrefix = "FILECODE:";

// The CRC of the integrity line: the phones' frame check, CRC-16/X-25 (qcom/crc16.h).
inline std::uint16_t FileCodeCrc(const void* bytes, std::size_t length) {
    return qcom::Crc16X25(bytes, length);
}
inline std::uint16_t FileCodeCrc(std::string_view text) {
    return FileCodeCrc(text.data(), text.size());
}

// What the check of a file found.
struct FileCodeReport {
    bool readable = false;      // the file could be read
    std::string error;          // why it could not
    std::string stored_line;    // the last line containing "FILECODE:", or empty
    std::string expected_line;  // "FILECODE:%04x" over the other lines
    bool matches() const { return readable && stored_line == expected_line; }
};

// Reads the text as the Windows C runtime reads text (CR LF and LF end lines, Ctrl-Z ends the
// file): every line containing "FILECODE:" is left out of the hash and the last such line is
// kept; every other line contributes "%04x" of its CRC to an accumulator whose CRC gives the
// expected line. `readable` is set.
FileCodeReport ExamineConfigText(std::string_view bytes);

// ExamineConfigText over the file's bytes; `readable` is false when it cannot be read (or is
// longer than platform::kMaxProfileFileSize), and `error` then says why.
FileCodeReport ExamineConfigFile(const std::string& path);

// Whether a line holds the integrity prefix (and so is left out of the hash).
inline bool IsFileCodeLine(std::string_view line) {
    return line.find(kFileCodePrefix) != std::string_view::npos;
}

// True when the file exists and its integrity line matches, byte for byte.
bool CheckConfigFile(const std::string& path);

}  // namespace fendrel
