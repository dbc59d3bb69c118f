// Without a window toolkit a POSIX system has no message boxes of its own: the terminal stands in.
#include "platform/prompts.h"

namespace platform {

Prompts& SystemPrompts() {
    return TerminalPrompts();
}

}  // namespace platform
