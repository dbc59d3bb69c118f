#include "platform/sysfs_posix.h"

#include <cstdio>
#include <cstdlib>

#include "platform/files.h"

namespace platform::sysfs {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDefaultRoot = "/sys";
constexpr std::string_view kDeviceFolder = "/dev/";
// A sysfs attribute fills at most one page of memory (at most 64 KiB on any system).
constexpr std::size_t kMaxAttributeSize = 64 * 1024;

}  // namespace

std::string RootFromEnvironment() {
    const char* root = std::getenv("FENDREL_SYSFS_ROOT");
    return root != nullptr && *root != '\0' ? root : std::string(kDefaultRoot);
}

std::string Attribute(const fs::path& folder, const char* name) {
    const auto bytes = ReadFileBytes((folder / name).string(), kMaxAttributeSize);
    if (!bytes)
        return {};
    std::string_view text = *bytes;
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

std::optional<unsigned long long> NumberAttribute(const fs::path& folder, const char* name,
                                                  int base, unsigned long long max) {
    const std::string text = Attribute(folder, name);
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text.c_str(), &end, base);
    if (*end != '\0' || number > max)
        return std::nullopt;
    return number;
}

std::string UeventValue(const fs::path& folder, std::string_view key) {
    const auto bytes = ReadFileBytes((folder / "uevent").string(), kMaxAttributeSize);
    if (!bytes)
        return {};
    std::string_view text = *bytes;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return {};
}

std::string DeviceNode(const fs::path& folder, std::string_view kernel_name) {
    std::string node = UeventValue(folder, "DEVNAME");
    if (node.empty())
        node = kernel_name;
    if (node.empty() || node.front() == '/')
        return node;
    return std::string(kDeviceFolder) + node;
}

fs::path AncestorWith(const fs::path& folder, const fs::path& root, const char* attribute) {
    std::error_code failure;
    for (fs::path above = folder.parent_path(); above != root && above.has_relative_path();
         above = above.parent_path()) {
        if (fs::exists(above / attribute, failure))
            return above;
    }
    return {};
}

std::string Hex(unsigned long long number, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llX", digits, number);
    return text;
}

}  // namespace platform::sysfs
