// Host names as $FENDREL_HOST_OS gives them (the same on every platform).
#include <charconv>

#include "platform/host_system.h"

namespace platform {
namespace {

// Reads the decimal number at the start of `text` and drops it from there.
std::optional<unsigned> TakeNumber(std::string_view& text) {
    unsigned number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end == text.data())
        return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return number;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

}  // namespace

std::optional<HostSystem> ParseHostSystem(std::string_view name) {
    HostSystem host{OsFamily::kWindows};
    if (!TakePrefix(name, "windows-"))
        return std::nullopt;
    const auto major = TakeNumber(name);
    if (!major || !TakePrefix(name, "."))
        return std::nullopt;
    const auto minor = TakeNumber(name);
    if (!minor)
        return std::nullopt;
    host.major = *major;
    host.minor = *minor;
    if (name == "-32")
        host.is_64bit = false;
    else if (name == "-64")
        host.is_64bit = true;
    else
        return std::nullopt;
    return host;
}

}  // namespace platform
