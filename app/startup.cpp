#include "app/startup.h"

#include <cstdio>

#include "app/file_code.h"
#include "app/text_lookup.h"
#include "engine/worker_messages.h"

namespace fendrel {

bool PassStartChecks(platform::InstanceGuard& guard, const std::string& config_path,
                     platform::Prompts& prompts) {
    WorkerMessages();
    switch (guard.Take()) {
        case platform::InstanceGuard::Result::kTaken:
            break;
        case platform::InstanceGuard::Result::kHeldElsewhere:
            prompts.ShowMessage(GetText(text::kAlreadyRunning), {}, platform::PromptButtons::kOk,
                                platform::PromptIcon::kNone);
            return false;
        case platform::InstanceGuard::Result::kFailed:
            std::fprintf(stderr, "fendrel: %s\n", guard.error().c_str());
            return false;
    }
    if (!CheckConfigFile(config_path)) {
        prompts.ShowMessage(GetText(text::kConfigFileBroken), {}, platform::PromptButtons::kOk,
                            platform::PromptIcon::kNone);
        return false;
    }
    return true;
}

}  // namespace fendrel
