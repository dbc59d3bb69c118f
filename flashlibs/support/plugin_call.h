// One call of a flash-download plugin's Download (engine/flash_download_abi.h): its arguments,
// and the reports it sends back to the worker.
//
// Every plugin of this folder is the same export over a different flash route; the routes share
// this helper library and the protocols in qcom/. A plugin keeps no state between calls: all of
// a call's state lives in objects of that call, so several workers may be inside one plugin at
// once.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/flash_download_abi.h"

namespace fendrel::flashlibs {

// The codes a plugin reports (what the worker shows for each: engine/flash_reports.h).
enum ReportCode : int {
    kNoProgrammer = 0,          // "Can not find ram file!"
    kProgrammerProgress = 1,    // "Download ram(0x%x/0x%x)..."   b done, c total, d just done
    kProgrammerFailed = 2,      // "Download ram fail!(0x%x/0x%x)"
    kBootBlockInfoFailed = 3,   // "Set BBINFO fail!"
    kErasingBoot = 4,           // "Erasing boot(0x%x/0x%x)..."
    kEraseBootFailed = 5,       // "Erase boot fail!(0x%x/0x%x)"
    kNoBootImage = 6,           // "Can not find boot file!"
    kBootProgress = 7,          // "Downloading boot(0x%x/0x%x)..."
    kBootFailed = 8,            // "Download boot fail!(0x%x/0x%x)"
    kErasingEfs = 9,            // "Erasing EFS(0x%x/0x%x)..."      b done, c total, d just done
    kEraseEfsFailed = 10,       // "Erase EFS fail!(0x%x/0x%x)"
    kErasingChecksum = 11,      // "Erasing checksum(0x%x/0x%x)..."
    kEraseChecksumFailed = 12,  // "Erase checksum fail!"
    kErasingApp = 13,           // "Erasing app(0x%x/0x%x)..."      b done, c total, d just done
    kEraseAppFailed = 14,       // "Erase app fail!(0x%x/0x%x)"
    kNoAppImage = 15,           // "Can not find app file!"
    kAppProgress = 16,          // "Download app(0x%x/0x%x)..."
    kAppFailed = 17,            // "Download app fail!(0x%x/0x%x)"
    kWritingChecksum = 18,      // "Writing checksum..."
    kWriteChecksumFailed = 19,  // "Write checksum fail!"
    kWaitRestart = 20,          // "Wait the phone to restart..."
    kRestartFailed = 21,        // "Restart phone fail!"
    kModuleProgress = 22,       // "Downloading modul(0x%x/0x%x)..."
    kModuleFailed = 23,         // "Download modul fail!(0x%x/0x%x)"
    kProgrammerRunning = 24,    // "Running ram..."
    kMissingImage = 25,         // a multi-image phone's missing file, by sub-code b
    kImageProgress = 26,        // its progress: b sub-code, c just done, d total
    kImageFailed = 27,          // its failure, as 26
    // A code the worker has no row for: it shows "Download fail!".
    kDownloadFailed = 28,
};

// The multi-image sub-codes (b of codes 26 and 27) this folder's plugins use; the worker's weight
// for each row's code 26 in brackets.
enum class ImageRow : int {
    kPartitionTable = 1,  // "Downloading Partition Table file" (none)
    kQcsBootLoader = 3,   // "Downloading Qcs Boot Loader file" (0.02, then a tick)
    kQcsHeader = 4,       // "Downloading Qcs header file..." (none; fixed text)
    kOemBootLoader = 5,   // "Downloading Oem Boot Loader file" (0.02, no tick)
    kOemHeader = 6,       // "Downloading Oem header file..." (none; fixed text)
    kSoftware = 7,        // "Downloading Amss file" (4.0, then a tick)
    kAmssHeader = 8,      // "Downloading Amss header file..." (none; fixed text)
};
// Code 25 numbers its texts in an order of its own.
enum MissingFile : int {
    kMissingPartitionTable = 1,  // "Can not find partition table file!"
    kMissingQcsBootLoader = 3,
    kMissingOemBootLoader = 4,
    kMissingQcsHeader = 5,
    kMissingOemHeader = 6,
    kMissingAmssHeader = 7,
    kMissingSoftware = 8,  // "Can not find Amss file!"
};

class Reporter {
  public:
    Reporter(FendrelReportFunction report, void* context) : report_(report), context_(context) {}
    void operator()(int code, int b = 0, int c = 0, int d = 0) const {
        if (report_ != nullptr)
            report_(code, b, c, d, context_);
    }

  private:
    FendrelReportFunction report_;
    void* context_;
};

struct PluginCall {
    FendrelSerialPort* port = nullptr;
    // Never null in a call made by MakePluginCall: an event of the call's own when the worker
    // gave none.
    FendrelStopEvent* stop_event = nullptr;
    std::shared_ptr<FendrelStopEvent> own_stop_event;
    bool erase_efs = false;
    std::vector<std::string> app_images;  // the app image list, split at '*'
    std::vector<std::string> boot_images;
    std::string version_folder;
    Reporter report{nullptr, nullptr};
};

// The arguments of Download as a PluginCall.
PluginCall MakePluginCall(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                          const char* app_images, const char* boot_images,
                          const char* version_folder, FendrelReportFunction report, void* context);

}  // namespace fendrel::flashlibs
