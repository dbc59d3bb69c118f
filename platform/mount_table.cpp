// The text of a mount table in the format of /proc/self/mounts (the same on every platform).
#include "platform/mount_table.h"

#include "platform/files.h"

namespace platform {
namespace {

// Far more than a system with thousands of mounts shows.
constexpr std::size_t kLargestTable = 16 << 20;

// A field of the table with its octal escapes (\040 for a space) decoded.
std::string Unescape(std::string_view field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size();
        if (octal && field[i + 1] >= '0' && field[i + 1] <= '3' && field[i + 2] >= '0' &&
            field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// The next blank-separated field of `line`, taken off its front.
std::string_view NextField(std::string_view& line) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const std::size_t end = line.find_first_of(" \t");
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return field;
}

}  // namespace

std::vector<Mount> ParseMountTable(std::string_view text) {
    std::vector<Mount> mounts;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string_view source = NextField(line);
        const std::string_view mount_point = NextField(line);
        if (!source.empty() && !mount_point.empty())
            mounts.push_back({Unescape(source), Unescape(mount_point)});
    }
    return mounts;
}

std::optional<std::vector<Mount>> ReadMountTableFile(const std::string& file, std::string* error) {
    std::string why;
    const auto bytes = ReadFileBytes(file, kLargestTable, &why);
    if (!bytes) {
        if (error != nullptr)
            *error = "cannot read the mount table " + file + " (" + why + ")";
        return std::nullopt;
    }
    return ParseMountTable(*bytes);
}

}  // namespace platform
