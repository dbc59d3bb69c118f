// Program directory and path joining.
//
// The product keeps its files beside its executable (config.ini, resource/resource.txt,
// "NV Decoder.zdf", the Backup folder, the flash plugins), so every such path starts from the
// program directory. Paths are built with the platform separator wherever a Windows path would
// use a backslash.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr char kExecutableSuffix[] = ".exe";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr char kExecutableSuffix[] = "";
#endif

// The folder of the running executable, ending in kPathSeparator, or the folder given to
// OverrideProgramDirectory. Safe from any thread.
std::string ProgramDirectory();

// The folder of the running executable as the system reports it (GetModuleFileNameA on Windows,
// /proc/self/exe on POSIX), ending in kPathSeparator; the root when the system cannot say.
std::string ExecutableDirectory();

// The process's current directory as it is now, without a trailing separator (except for the
// root itself); none when it cannot be read (it was removed, or a folder above it is not
// readable). A shortcut may start the product in a folder other than ProgramDirectory().
std::optional<std::string> CurrentDirectory();

// Makes ProgramDirectory() answer `directory` (a separator is appended when missing) for the rest
// of the process, or the real folder again when `directory` is empty. For tests and tools that
// run the product's code against files in another folder; call it before other threads start.
void OverrideProgramDirectory(std::string directory);

// `directory` and `name` joined by exactly one separator. An empty directory yields `name`.
std::string JoinPath(std::string_view directory, std::string_view name);

// Every '\\' of a Windows-style relative path ("resource\\resource.txt") as kPathSeparator.
std::string NativePath(std::string_view windows_path);

}  // namespace platform
