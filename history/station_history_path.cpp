#include "history/result_history.h"
#include "platform/paths.h"
#include "platform/settings_store.h"

namespace fendrel::history {

std::string StationHistoryPath() {
    return platform::JoinPath(platform::SettingsStore::FromEnvironment().directory(), "history.db");
}

}  // namespace fendrel::history
