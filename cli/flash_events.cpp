#include "cli/flash_events.h"

#include "cli/result_json.h"

namespace fendrel::cli {
namespace {

using json = nlohmann::ordered_json;

json Line(std::string_view event, history::Moment time, const std::string& port) {
    return json{{"event", event}, {"time", history::UtcText(time)}, {"port", port}};
}

}  // namespace

void FlashEvents::Message(history::Moment time, const std::string& port, std::string_view message,
                          int percent, const std::string& status, const std::string& detail) const {
    json object = Line("message", time, port);
    object["message"] = message;
    object["percent"] = percent;
    object["status"] = status;
    if (!detail.empty())
        object["detail"] = detail;
    WriteJsonLine(to_, object);
}

void FlashEvents::Verdict(history::Moment time, const history::ResultRecord& result) const {
    json object = Line("verdict", time, result.port);
    AddResultFields(object, result);
    WriteJsonLine(to_, object);
}

}  // namespace fendrel::cli
