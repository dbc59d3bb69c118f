#include "cli/flash_events.h"

#include <nlohmann/json.hpp>

namespace fendrel::cli {
namespace {

using json = nlohmann::ordered_json;

json Line(std::string_view event, history::Moment time, const std::string& port) {
    return json{{"event", event}, {"time", history::UtcText(time)}, {"port", port}};
}

void Write(std::FILE* to, const json& object) {
    // Texts come from the worker and from a site's text overrides, which may hold bytes that are
    // not UTF-8: those become U+FFFD rather than ending the run.
    const std::string line = object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    std::fwrite(line.data(), 1, line.size(), to);
    std::fflush(to);
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
    Write(to_, object);
}

void FlashEvents::Verdict(history::Moment time, const std::string& port, bool passed,
                          const std::string& status) const {
    json object = Line("verdict", time, port);
    object["verdict"] = passed ? "passed" : "failed";
    object["status"] = status;
    Write(to_, object);
}

}  // namespace fendrel::cli
