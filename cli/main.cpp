// fendrel-cli: the engine of Fendrel without a window, for scripted stations and technicians.
//
//   fendrel-cli COMMAND [ARGUMENTS]
//   fendrel-cli help [COMMAND]       also --help, -h; and COMMAND --help (or -h)
//   fendrel-cli --version
#include <cstdio>
#include <span>
#include <string_view>

#include "cli/command.h"
#include "version/version_option.h"

namespace {

using fendrel::cli::Command;

constexpr int kHelpShown = 0;

bool IsHelpOption(std::string_view word) {
    return word == "--help" || word == "-h";
}

int Usage(std::FILE* to, int status) {
    std::fprintf(to,
                 "usage: fendrel-cli COMMAND [ARGUMENTS]\n"
                 "       fendrel-cli help [COMMAND]\n"
                 "       fendrel-cli --version\n\ncommands:\n");
    fendrel::cli::PrintCommandList(to, "  ");
    return status;
}

int UnknownCommand(std::string_view name) {
    std::fprintf(stderr, "fendrel-cli: unknown command '%.*s'\n\n", static_cast<int>(name.size()),
                 name.data());
    return Usage(stderr, fendrel::cli::kUsageError);
}

int CommandHelp(const Command& command) {
    fendrel::cli::PrintUsage(stdout, command, true);
    return kHelpShown;
}

}  // namespace

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, "fendrel-cli"))
        return 0;
    const std::span<char* const> words(argv + 1, argc > 1 ? argc - 1 : 0);
    if (words.empty())
        return Usage(stderr, fendrel::cli::kUsageError);
    const std::string_view name = words[0];
    if (name == "help" || IsHelpOption(name)) {
        if (words.size() == 1)
            return Usage(stdout, kHelpShown);
        if (words.size() > 2)
            return Usage(stderr, fendrel::cli::kUsageError);
        const Command* command = fendrel::cli::FindCommand(words[1]);
        return command != nullptr ? CommandHelp(*command) : UnknownCommand(words[1]);
    }
    const Command* command = fendrel::cli::FindCommand(name);
    if (command == nullptr)
        return UnknownCommand(name);
    if (words.size() == 2 && IsHelpOption(words[1]))
        return CommandHelp(*command);
    return command->run(words.subspan(1));
}
