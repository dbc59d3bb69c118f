// NativeHandle on Windows: a HANDLE.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/native_handle.h"

namespace platform {

inline HANDLE WinHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle));
}

inline NativeHandle FromWinHandle(HANDLE handle) {
    return static_cast<NativeHandle>(reinterpret_cast<std::intptr_t>(handle));
}

}  // namespace platform
