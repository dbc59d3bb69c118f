// Wide text: the stand-in for MultiByteToWideChar on the product's own texts and paths.
//
// Windows calls that take wide-character paths (the driver-package library's) are handed the
// product's multibyte text converted to wchar_t. The multibyte text is the platform's own
// encoding: UTF-8 on POSIX (wchar_t holds one code point), the ANSI code page on Windows.
//
// Blocking: never. Any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// `text` as wide characters; none when it is not valid in the platform's encoding (POSIX: any
// byte sequence that is not well-formed UTF-8, such as an overlong form, a surrogate or a cut-off
// sequence).
std::optional<std::wstring> WideFromNative(std::string_view text);

}  // namespace platform
