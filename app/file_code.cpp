#include "app/file_code.h"

#include <array>
#include <cstdio>

#include "platform/files.h"
#include "platform/text_file.h"

namespace fendrel {
namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
        }
        table[byte] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x1189 && kCrcTable[128] == 0x8408 && kCrcTable[255] == 0x0F78);

std::string Hex4(std::uint16_t value) {
    char text[5];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

}  // namespace

std::uint16_t FileCodeCrc(const void* bytes, std::size_t length) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

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
    const std::optional<std::string> bytes = platform::ReadFileBytes(path);
    if (!bytes)
        return {};
    return ExamineConfigText(*bytes);
}

bool CheckConfigFile(const std::string& path) {
    return ExamineConfigFile(path).matches();
}

}  // namespace fendrel
