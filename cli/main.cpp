// fendrel-cli: the engine of Fendrel without a window, for scripted stations and technicians.
#include <cstdio>
#include <span>
#include <string_view>

#include "cli/command.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: fendrel-cli COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const fendrel::cli::Command& command : fendrel::cli::Commands()) {
        std::fprintf(stderr, "  %.*s %.*s\n      %.*s\n", static_cast<int>(command.name.size()),
                     command.name.data(), static_cast<int>(command.arguments.size()),
                     command.arguments.data(), static_cast<int>(command.summary.size()),
                     command.summary.data());
    }
    return fendrel::cli::kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string_view name = argv[1];
    for (const fendrel::cli::Command& command : fendrel::cli::Commands()) {
        if (command.name == name)
            return command.run(std::span<char* const>(argv + 2, argc - 2));
    }
    std::fprintf(stderr, "fendrel-cli: unknown command '%s'\n\n", argv[1]);
    return Usage();
}
