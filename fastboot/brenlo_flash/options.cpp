#include "fastboot/brenlo_flash/options.h"

#include <strings.h>

#include <string_view>

#include "fastboot/partitions.h"

namespace brenlo::flash_tool {
namespace {

const RequestPartition* FindPartition(const char* name) {
    for (const RequestPartition& partition : kRequestPartitions) {
        if (strcasecmp(partition.name, name) == 0)
            return &partition;
    }
    return nullptr;
}

}  // namespace

const char kUsage[] =
    "usage: brenlo-flash -s INTERFACE [--erase PARTITION]... [--flash PARTITION FILE]...\n"
    "                    [--library PATH] [--silent]\n"
    "\n"
    "Erases and flashes the partitions of a phone in fastboot mode, then reboots it, through\n"
    "Brenlo (Brenlo.dll, libbrenlo.so on Linux); prints every text the library reports with its\n"
    "level, step kind and partition.\n"
    "\n"
    "  -s, --interface NAME     the phone: on Linux usb:BUS-PORT[.PORT...] as `fastboot devices\n"
    "                           -l` shows it, on Windows the interface name of AdbWinApi.dll,\n"
    "                           or tcp:HOST[:PORT] (port 5554 by default)\n"
    "  --erase PARTITION        erase a partition: AMSS, boot, userdata, recovery or system\n"
    "  --flash PARTITION FILE   write the image FILE into the partition\n"
    "  --library PATH           the library to load (default Brenlo beside this program)\n"
    "  --silent                 pass no callback: nothing is printed, the exit status tells\n"
    "\n"
    "Erases always run first, then the images, in the order AMSS, boot, userdata, recovery,\n"
    "system, whatever the order of the options.\n"
    "Every image file is checked first: a missing, empty or unreadable one, or a folder, is\n"
    "named with the reason and nothing reaches the phone.\n"
    "Exit status: 0 flashed and rebooting, 1 an image file that cannot be used or a failure the\n"
    "library reported, 2 a bad command line or no library.\n";

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
    flash_request& request = options->request;
    for (int i = 0; i < argc; ++i) {
        const std::string_view option = argv[i];
        const int left = argc - i - 1;
        if ((option == "-s" || option == "--interface") && left >= 1) {
            request.interface_name = argv[++i];
        } else if (option == "--library" && left >= 1) {
            options->library = argv[++i];
        } else if (option == "--silent") {
            options->silent = true;
        } else if ((option == "--erase" && left >= 1) || (option == "--flash" && left >= 2)) {
            const RequestPartition* partition = FindPartition(argv[++i]);
            if (partition == nullptr) {
                *error = std::string("unknown partition '") + argv[i] +
                         "' (AMSS, boot, userdata, recovery or system)";
                return false;
            }
            if (option == "--erase") {
                request.*partition->erase_flag = 1;
            } else {
                request.*partition->flash_flag = 1;
                request.*partition->path = argv[++i];
            }
        } else if (option == "-h" || option == "--help") {
            options->help = true;
            return true;
        } else {
            *error = std::string("unknown option or missing value: '") + argv[i] + "'";
            return false;
        }
    }
    if (request.interface_name.empty()) {
        *error = "no interface given (-s usb:1-4.3 or -s tcp:HOST:PORT)";
        return false;
    }
    return true;
}

}  // namespace brenlo::flash_tool
