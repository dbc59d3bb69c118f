// The commands of fendrel-cli. Each lives in a file of its own and is listed in commands.cpp.
#pragma once

#include <span>
#include <string_view>

namespace fendrel::cli {

// Exit status of a command line that does not fit any command's usage.
inline constexpr int kUsageError = 2;

struct Command {
    std::string_view name;
    std::string_view arguments;  // shown in the usage text, for example "N..."
    std::string_view summary;
    // Runs with the arguments after the command's name; returns the exit status.
    int (*run)(std::span<char* const> arguments);
};

std::span<const Command> Commands();

}  // namespace fendrel::cli
