#include "cli/result_json.h"

#include <cstdio>

namespace fendrel::cli {

void AddResultFields(nlohmann::ordered_json& object, const history::ResultRecord& record) {
    object["started"] = record.started;
    object["ended"] = record.ended;
    object["station"] = record.station;
    object["port"] = record.port;
    object["usb_place"] = record.usb_place;
    object["port_kind"] = record.port_kind;
    object["flash_type"] = record.flash_type;
    object["image_folder"] = record.image_folder;
    object["image_set_digest"] = record.image_set_digest;
    object["esn"] = record.esn;
    object["nv_backup"] = record.nv_backup;
    object["status"] = record.status;
    object["verdict"] = record.passed ? "passed" : "failed";
}

void WriteJsonLine(std::FILE* to, const nlohmann::ordered_json& object) {
    const std::string line =
        object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    std::fwrite(line.data(), 1, line.size(), to);
    std::fflush(to);
}

}  // namespace fendrel::cli
