#include <array>
#include <string>

#include "cli/command.h"
#include "cli/commands_list.h"

namespace fendrel::cli {
namespace {

// The name and arguments, each further line of the arguments indented by `indent` and the
// name's width, so it lines up under the first.
std::string Synopsis(const Command& command, std::size_t indent) {
    std::string text(command.name);
    if (!command.arguments.empty())
        text += ' ';
    const std::string continuation = "\n" + std::string(indent + command.name.size() + 1, ' ');
    for (const char c : command.arguments) {
        if (c == '\n')
            text += continuation;
        else
            text += c;
    }
    return text;
}

constexpr std::string_view kUsagePrefix = "usage: fendrel-cli ";

}  // namespace

std::span<const Command> Commands() {
    static const std::array commands = {
        CheckImagesCommand(), FlashCommand(),   Hex2BinCommand(),    HistoryCommand(),
        InfoCommand(),        NvCheckCommand(), NvItemsCommand(),    PortsCommand(),
        SetupCommand(),       TextCommand(),    ToDownloadCommand(),
    };
    return commands;
}

const Command* FindCommand(std::string_view name) {
    for (const Command& command : Commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

void PrintUsage(std::FILE* to, const Command& command, bool with_summary) {
    std::fprintf(to, "%.*s%s\n", static_cast<int>(kUsagePrefix.size()), kUsagePrefix.data(),
                 Synopsis(command, kUsagePrefix.size()).c_str());
    if (with_summary) {
        std::fprintf(to, "\n%.*s\n", static_cast<int>(command.summary.size()),
                     command.summary.data());
    }
}

int UsageError(const Command& command) {
    PrintUsage(stderr, command, false);
    return kUsageError;
}

void PrintCommandList(std::FILE* to, std::string_view prefix) {
    for (const Command& command : Commands()) {
        std::fprintf(to, "%.*s%s\n%.*s    %.*s\n", static_cast<int>(prefix.size()), prefix.data(),
                     Synopsis(command, prefix.size()).c_str(), static_cast<int>(prefix.size()),
                     prefix.data(), static_cast<int>(command.summary.size()),
                     command.summary.data());
    }
}

}  // namespace fendrel::cli
