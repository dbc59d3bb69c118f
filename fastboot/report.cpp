// Reports to the owner's callback, step labels, and the way out of a call that cannot go on.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "fastboot/protocol.h"

namespace brenlo {
namespace {

constexpr std::size_t kReportSize = 1024;
constexpr std::size_t kMessageSize = 256;

}  // namespace

void fb_report(fb_connection* connection, int level, const char* format, ...) {
    const flash_request* owner = connection->owner;
    const fb_action* action = connection->current_action;
    if (owner == nullptr || action == nullptr || owner->callback == nullptr)
        return;
    char text[kReportSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    owner->callback(owner->context, action->partition, action->step_kind, level, text);
}

char* make_message(const char* format, ...) {
    char text[kMessageSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    const std::size_t size = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy == nullptr)
        fatal_exit("out of memory");
    std::memcpy(copy, text, size);
    return copy;
}

void fatal_exit(const char* format, ...) {
    char text[kMessageSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "%s\n", text);
    throw fatal_error(text);
}

}  // namespace brenlo
