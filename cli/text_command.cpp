// fendrel-cli text N...: prints numbered texts as the station shows them (site overrides from
// resource/resource.txt beside the program included), one per line as "N: text".
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/text_lookup.h"
#include "cli/commands_list.h"

namespace fendrel::cli {
namespace {

int Run(std::span<char* const> arguments) {
    if (arguments.empty())
        return UsageError(TextCommand());
    for (const char* argument : arguments) {
        char* end = nullptr;
        const long number = std::strtol(argument, &end, 10);
        if (end == argument || *end != '\0' || number < INT_MIN || number > INT_MAX) {
            std::fprintf(stderr, "fendrel-cli text: '%s' is not a text number\n", argument);
            return kUsageError;
        }
        std::printf("%ld: %s\n", number, GetText(static_cast<int>(number)).c_str());
    }
    return 0;
}

}  // namespace

Command TextCommand() {
    return {"text", "N...", "print the numbered texts N as the station shows them", Run};
}

}  // namespace fendrel::cli
