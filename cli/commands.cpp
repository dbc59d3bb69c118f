#include <array>

#include "cli/command.h"
#include "cli/commands_list.h"

namespace fendrel::cli {

std::span<const Command> Commands() {
    static const std::array commands = {
        CheckImagesCommand(), FlashCommand(), Hex2BinCommand(), InfoCommand(), NvCheckCommand(),
        NvItemsCommand(),     PortsCommand(), SetupCommand(),   TextCommand(), ToDownloadCommand(),
    };
    return commands;
}

}  // namespace fendrel::cli
