// The registry keys of the main program, all under HKEY_LOCAL_MACHINE. The program opens them
// and never creates them: the installation does (fendrel-cli setup).
#pragma once

#include <array>
#include <string_view>

namespace fendrel::registry {

// Pass and fail counters and the multi-download page's image folder.
inline constexpr std::string_view kFendrelKey = "SOFTWARE\\Fendrel";
// The single-download page's recent app and boot images.
inline constexpr std::string_view kAppFileListKey = "SOFTWARE\\Ostrel\\AppFileList";
inline constexpr std::string_view kBootFileListKey = "SOFTWARE\\Ostrel\\BootFileList";

inline constexpr std::array kProgramKeys = {kFendrelKey, kAppFileListKey, kBootFileListKey};

}  // namespace fendrel::registry
