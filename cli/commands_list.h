// One factory per command file of fendrel-cli.
#pragma once

#include "cli/command.h"

namespace fendrel::cli {

Command CheckImagesCommand();  // check_images_command.cpp
Command FlashCommand();        // flash_command.cpp
Command Hex2BinCommand();      // hex2bin_command.cpp
Command HistoryCommand();      // history_command.cpp
Command InfoCommand();         // info_command.cpp
Command NvCheckCommand();      // nv_check_command.cpp
Command NvItemsCommand();      // nv_items_command.cpp
Command PortsCommand();        // ports_command.cpp
Command SetupCommand();        // setup_command.cpp
Command TextCommand();         // text_command.cpp
Command ToDownloadCommand();   // to_download_command.cpp

}  // namespace fendrel::cli
