// One call of a flash-download plugin's Download (engine/flash_download_abi.h): its arguments,
// and the reports it sends back to the worker.
//
// Every plugin of this folder is the same export over a different flash route; the routes share
// this helper library and the protocols in qcom/. A plugin keeps no state between calls: all of
// a call's state lives in objects of that call, so several workers may be inside one plugin at
// once.
#pragma once

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
    kWritingChecksum = 18,      // "Writing checksum..."
    kWriteChecksumFailed = 19,  // "Write checksum fail!"
    kWaitRestart = 20,          // "Wait the phone to restart..."
    kRestartFailed = 21,        // "Restart phone fail!"
    kModuleProgress = 22,       // "Downloading modul(0x%x/0x%x)..."
    kProgrammerRunning = 24,    // "Running ram..."
    kMissingImage = 25,         // a multi-image phone's missing file, by sub-code b
    kImageProgress = 26,        // its progress: b sub-code, c just done, d total
    kImageFailed = 27,          // its failure, as 26
    // A code the worker has no row for: it shows "Download fail!".
    kDownloadFailed = 28,
};

// The multi-image sub-codes (b of codes 25 to 27) this folder's plugins use.
enum class ImageRow : int {
    kPartitionTable = 1,  // 26/27: "Downloading Partition Table file" (no progress weight)
    kSoftware = 7,        // 26/27: "Downloading Amss file" (weight 4.0); 25: see kMissingSoftware
};
// Code 25 numbers its texts in an order of its own: sub-code 8 is "Can not find Amss file!".
inline constexpr int kMissingSoftware = 8;

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
    FendrelStopEvent* stop_event = nullptr;
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
