// A result history row as JSON, the same fields in fendrel-cli flash --json's verdicts and in
// fendrel-cli history --json.
#pragma once

#include <nlohmann/json.hpp>

#include "history/result_history.h"

namespace fendrel::cli {

// Adds started, ended, station, port, usb_place, port_kind, flash_type, image_folder,
// image_set_digest, esn, nv_backup, status and verdict ("passed" or "failed") to `object`.
void AddResultFields(nlohmann::ordered_json& object, const history::ResultRecord& record);

// `object` as one line of JSON Lines on `to`, flushed. Bytes of its texts that are not UTF-8
// become U+FFFD: texts come from phones, workers and a site's text overrides.
void WriteJsonLine(std::FILE* to, const nlohmann::ordered_json& object);

}  // namespace fendrel::cli
