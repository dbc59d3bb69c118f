#include "tools/msp_options.h"

#include <string_view>

namespace fendrel::msp {
namespace {

// The option names that take a value, short and long.
struct ValueOption {
    std::string_view short_name;
    std::string_view long_name;
    std::string Options::*field;
};
constexpr ValueOption kValueOptions[] = {
    {"-r", "--rawprogram", &Options::rawprogram},
    {"-p", "--patch", &Options::patch},
    {"-d", "--dest", &Options::disk},
};

}  // namespace

std::optional<Options> ParseOptions(std::span<char* const> arguments, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "-n" || argument == "--noprompt") {
            options.ask = false;
            continue;
        }
        if (argument == "--verify") {
            options.verify = true;
            continue;
        }
        const ValueOption* matched = nullptr;
        std::string_view value;
        bool attached = false;
        for (const ValueOption& option : kValueOptions) {
            if (argument == option.short_name || argument == option.long_name) {
                matched = &option;
            } else if (argument.size() > 2 && argument.starts_with(option.short_name)) {
                matched = &option;
                value = argument.substr(2);
                attached = true;
            }
        }
        if (matched == nullptr) {
            error = "unknown option " + std::string(argument);
            return std::nullopt;
        }
        if (!attached) {
            if (i + 1 == arguments.size()) {
                error = std::string(argument) + " needs a value";
                return std::nullopt;
            }
            value = arguments[++i];
        }
        options.*(matched->field) = std::string(value);
    }
    if (options.rawprogram.empty() || options.disk.empty()) {
        error = "-r RAWPROGRAM.xml and -d DISK are needed";
        return std::nullopt;
    }
    return options;
}

}  // namespace fendrel::msp
