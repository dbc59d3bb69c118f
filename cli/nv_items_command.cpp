// fendrel-cli nv-items [FILE]: lists the NV items a definition file defines, as the backup of a
// phone reads them (ascending number, the first definition of a number wins), one per line as
// "NUMBER NAME". Without FILE it reads "NV Decoder.zdf" beside the program, as the station does.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands_list.h"
#include "nv/nv_item_store.h"

namespace fendrel::cli {
namespace {

int Run(std::span<char* const> arguments) {
    if (arguments.size() > 1)
        return UsageError(NvItemsCommand());
    const NvItemStore store(arguments.empty() ? NvDefinitionPath() : std::string(arguments[0]));
    std::vector<std::uint16_t> ids;
    std::vector<std::string> names;
    if (!store.list_defined_items(ids, names)) {
        std::fprintf(stderr, "fendrel-cli nv-items: %s defines no NV item\n",
                     store.definition_path().c_str());
        return 1;
    }
    for (std::size_t i = 0; i < ids.size(); ++i)
        std::printf("%u %s\n", static_cast<unsigned>(ids[i]), names[i].c_str());
    return 0;
}

}  // namespace

Command NvItemsCommand() {
    return {"nv-items", "[FILE]",
            "list the NV items of a definition file (default: NV Decoder.zdf beside the program)",
            Run};
}

}  // namespace fendrel::cli
