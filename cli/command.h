// The commands of fendrel-cli. Each lives in a file of its own and is listed in commands.cpp.
#pragma once

#include <cstdio>
#include <span>
#include <string_view>

namespace fendrel::cli {

// Exit status of a command line that does not fit any command's usage.
inline constexpr int kUsageError = 2;

struct Command {
    std::string_view name;
    // Shown in the usage text after the name, for example "N..."; a long list may run over
    // several lines ("\n" between them).
    std::string_view arguments;
    std::string_view summary;
    // Runs with the arguments after the command's name; returns the exit status.
    int (*run)(std::span<char* const> arguments);
};

std::span<const Command> Commands();

// The command called `name`, or null.
const Command* FindCommand(std::string_view name);

// "usage: fendrel-cli NAME ARGUMENTS" (further lines of the arguments lined up under the first),
// followed by the summary when `with_summary`.
void PrintUsage(std::FILE* to, const Command& command, bool with_summary);

// For a command line that does not fit: the command's usage on standard error; returns
// kUsageError.
int UsageError(const Command& command);

// Every command with its arguments and summary, under `prefix` ("  ").
void PrintCommandList(std::FILE* to, std::string_view prefix);

}  // namespace fendrel::cli
