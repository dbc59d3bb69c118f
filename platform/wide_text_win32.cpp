// Wide text on Windows: MultiByteToWideChar from the ANSI code page.
#include <windows.h>

#include <climits>

#include "platform/wide_text.h"

namespace platform {

std::optional<std::wstring> WideFromNative(std::string_view text) {
    if (text.empty())
        return std::wstring();
    if (text.size() > INT_MAX)
        return std::nullopt;
    const int length = static_cast<int>(text.size());
    const int needed =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(),
                            needed) != needed)
        return std::nullopt;
    return wide;
}

}  // namespace platform
