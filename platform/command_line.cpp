// Command lines as Windows programs read them (the same on every platform).
#include <cstddef>

#include "platform/processes.h"

namespace platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
    std::vector<std::string> arguments;
    std::size_t at = 0;
    const std::size_t end = command_line.size();

    // The program name: quotes switch quoting on and off and are dropped; backslashes are
    // ordinary characters (they separate the folders of the path).
    std::string program;
    bool quoted = false;
    while (at < end && (quoted || !IsBlank(command_line[at]))) {
        if (command_line[at] == '"')
            quoted = !quoted;
        else
            program += command_line[at];
        ++at;
    }
    arguments.push_back(std::move(program));

    for (;;) {
        while (at < end && IsBlank(command_line[at]))
            ++at;
        if (at == end)
            break;
        std::string argument;
        quoted = false;
        while (at < end && (quoted || !IsBlank(command_line[at]))) {
            std::size_t backslashes = 0;
            while (at < end && command_line[at] == '\\') {
                ++backslashes;
                ++at;
            }
            if (at < end && command_line[at] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else if (quoted && at + 1 < end && command_line[at + 1] == '"') {
                    argument += '"';
                    ++at;
                } else {
                    quoted = !quoted;
                }
                ++at;
            } else {
                argument.append(backslashes, '\\');
                if (at < end && (quoted || !IsBlank(command_line[at])))
                    argument += command_line[at++];
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string QuoteProgramPath(std::string_view path) {
    if (path.find('"') != std::string_view::npos)
        return {};
    if (path.find_first_of(" \t") == std::string_view::npos)
        return std::string(path);
    return '"' + std::string(path) + '"';
}

std::string QuoteArgument(std::string_view argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled and the quote escaped; others stand as they are.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    // Backslashes before the closing quote are doubled too.
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace platform
