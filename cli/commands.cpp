#include <array>

#include "cli/command.h"
#include "cli/commands_list.h"

namespace fendrel::cli {

std::span<const Command> Commands() {
    static const std::array commands = {
        CheckImagesCommand(), Hex2BinCommand(), NvCheckCommand(), NvItemsCommand(),
        PortsCommand(),       SetupCommand(),   TextCommand(),
    };
    return commands;
}

}  // namespace fendrel::cli
