// NativeHandle on POSIX: a file descriptor.
#pragma once

#include "platform/native_handle.h"

namespace platform {

inline int Descriptor(NativeHandle handle) {
    return static_cast<int>(handle);
}

inline NativeHandle FromDescriptor(int descriptor) {
    return static_cast<NativeHandle>(descriptor);
}

}  // namespace platform
