// The partitions a flash_request can select, in the order their steps run, with the request's
// fields for each. The record's own field order is a different one.
#pragma once

#include <cstdint>
#include <string>

#include "fastboot/brenlo.h"

namespace brenlo {

struct RequestPartition {
    const char* name;  // as sent to the device
    std::int32_t flash_request::*erase_flag;
    std::int32_t flash_request::*flash_flag;
    std::string flash_request::*path;
};

inline constexpr RequestPartition kRequestPartitions[] = {
    {"AMSS", &flash_request::erase_amss, &flash_request::flash_amss, &flash_request::amss_path},
    {"boot", &flash_request::erase_boot, &flash_request::flash_boot, &flash_request::boot_path},
    {"userdata", &flash_request::erase_userdata, &flash_request::flash_userdata,
     &flash_request::userdata_path},
    {"recovery", &flash_request::erase_recovery, &flash_request::flash_recovery,
     &flash_request::recovery_path},
    {"system", &flash_request::erase_system, &flash_request::flash_system,
     &flash_request::system_path},
};

}  // namespace brenlo
