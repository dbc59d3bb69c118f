// The settings a page hands to a worker before it starts it.
#pragma once

#include <string>

namespace fendrel {

struct DOWNLOAD_PARAM {
    int baud_rate = 0;           // used when opening the COM port
    std::string app_path;        // app image
    std::string boot_path;       // boot image
    std::string version_folder;  // recomputed by the detection step for flash type "MULTI"
    std::string port_type;       // not taken by SetParams: the worker keeps its own
    std::string image_folder;    // with a trailing separator
    std::string flash_type;      // "MULTI", "EMMC" or other, compared without case
    std::string service_code;    // service programming code; no step uses it
    int erase_efs = 0;           // EFS option
    int backup_esn = 0;          // ESN backup option
    int backup_other = 0;        // a further backup choice of the page (progress weight only)
    int backup_rf = 0;           // RF backup (the NV items of the structure file)
    int check_sum = 0;           // CHECKSUM option: the app image's checksum test
    int new_boot = 0;            // NEWBOOT option: the boot version check
    int check_match = 0;         // CHECKMATCH option; no step uses it
    int extra_weight = 0;        // option 15 (progress weight only)
};

}  // namespace fendrel
