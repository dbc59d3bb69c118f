// Windows error codes as text, for the error texts of the Win32 backends.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// The system's message for `code` (GetLastError()), without its line end, and the number.
std::string WindowsErrorText(DWORD code);

// "<what>: <the system's message for GetLastError()>".
inline std::string LastErrorText(const std::string& what) {
    return what + ": " + WindowsErrorText(GetLastError());
}

}  // namespace platform
