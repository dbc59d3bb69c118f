// The station's start checks, made before any window exists: the fourteen worker messages and
// the port list's button message are registered, a second copy of the program is refused with
// text 212, and a config.ini whose integrity line does not match is refused with text 209.
#pragma once

#include <string>

#include "platform/instance_guard.h"
#include "platform/prompts.h"

namespace fendrel {

// The name of the guard that keeps a second copy from starting.
inline constexpr char kInstanceGuardName[] = "QUEX";

// True when the station may go on to build its window. `guard` is taken here and must be kept
// for the whole run (the guard holds while the object lives). A refused start has shown its
// message through `prompts`; a guard that cannot be made at all is told on standard error, since
// there is nothing for the operator to answer.
bool PassStartChecks(platform::InstanceGuard& guard, const std::string& config_path,
                     platform::Prompts& prompts);

}  // namespace fendrel
