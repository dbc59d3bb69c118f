// The host system: the stand-in for GetVersionExA and IsWow64Process.
//
// The product asks which Windows it runs on (a version number, as GetVersionExA reports it) and
// whether that Windows is a 64-bit one. On a POSIX host the answer is what the host is: not
// Windows, 64-bit when its kernel is. $FENDREL_HOST_OS may name a Windows to answer instead, so
// that the Windows paths of the product can be tried on any machine (on a 64-bit Windows, the
// paths of a 32-bit one):
// "windows-<major>.<minor>-<32|64>", for example "windows-5.1-32" for a 32-bit Windows XP.
//
// Blocking: never. Any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class OsFamily { kWindows, kPosix };

struct HostSystem {
    OsFamily family = OsFamily::kPosix;
    // Windows: the version GetVersionExA reports (5.1 is XP, 6.1 is 7). POSIX: the kernel's.
    unsigned major = 0;
    unsigned minor = 0;
    // Whether the operating system is a 64-bit one: on Windows, true for a 64-bit process and
    // for a 32-bit one that IsWow64Process reports as running under WOW64.
    bool is_64bit = false;
};

// The host this process runs on; none, with `error` set, when $FENDREL_HOST_OS is set but is not
// of the form above.
std::optional<HostSystem> QueryHostSystem(std::string* error = nullptr);

// The host as the system itself reports it, whatever $FENDREL_HOST_OS says.
HostSystem RunningHostSystem();

// A host named as $FENDREL_HOST_OS names one; none when `name` does not have that form.
std::optional<HostSystem> ParseHostSystem(std::string_view name);

}  // namespace platform
