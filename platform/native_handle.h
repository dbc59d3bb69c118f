// A system object as the portable headers hold it: a file descriptor on POSIX, a HANDLE on
// Windows. Portable code only passes it along; the backend files of each system (and programs
// that only ever run on one, such as the simulators) convert it with the helpers of
// platform/native_handle_posix.h or platform/native_handle_win32.h.
#pragma once

#include <cstdint>

namespace platform {

enum class NativeHandle : std::intptr_t {};

// No object: -1, which is no descriptor and, on Windows, INVALID_HANDLE_VALUE.
inline constexpr NativeHandle kNoNativeHandle = static_cast<NativeHandle>(-1);

}  // namespace platform
