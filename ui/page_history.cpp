#include "ui/page_history.h"

#include <filesystem>
#include <system_error>

#include "platform/host_name.h"

namespace fendrel::ui {

void PageHistory::Started(const std::string& port) {
    passed_[port] = false;
    recorded_[port] = false;
}

void PageHistory::Passed(const std::string& port) {
    passed_[port] = true;
}

bool PageHistory::Record(history::ResultRecord result, std::string& error) {
    if (recorded_[result.port])
        return true;
    result.passed = passed_[result.port];
    history::ResultHistory* history = Open(true, error);
    if (history == nullptr || !history->Record(result, error))
        return false;
    recorded_[result.port] = true;
    return true;
}

std::optional<std::vector<history::ResultRecord>> PageHistory::Last(const std::string& port,
                                                                    std::size_t count,
                                                                    std::string& error) {
    std::error_code failure;
    if (!path_.empty() && !std::filesystem::exists(path_, failure))
        return std::vector<history::ResultRecord>{};  // nothing recorded yet
    history::ResultHistory* history = Open(false, error);
    if (history == nullptr)
        return std::nullopt;
    auto rows = history->Query({"", "", port, platform::HostName()}, error);
    if (!rows)
        return std::nullopt;
    std::vector<history::ResultRecord> last(rows->rbegin(), rows->rend());
    if (last.size() > count)
        last.resize(count);
    return last;
}

history::ResultHistory* PageHistory::Open(bool create, std::string& error) {
    if (history_ == nullptr) {
        if (path_.empty()) {
            error = "this window keeps no result history";
            return nullptr;
        }
        history_ = history::OpenResultHistory(path_, create, error);
    }
    return history_.get();
}

}  // namespace fendrel::ui
