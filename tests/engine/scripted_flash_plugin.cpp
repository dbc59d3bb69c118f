// A flash-download plugin for tests: it records what it was given and replays the reports of a
// script, so the worker's side of the plugin interface runs against a real loaded library.
//
// Both files lie in the version folder the worker passes. flash-script.txt holds one action per
// line: "report CODE B C D" (calls the report function), "wait-for-stop" (waits for the stop
// event; the call then fails), "return N" (the result; 1 when missing). flash-call.txt is written
// before the first action: the plugin's name and each argument, one per line.
#include <fstream>
#include <sstream>
#include <string>

#include "engine/flash_download_abi.h"
#include "platform/event.h"
#include "platform/paths.h"

namespace {

// Bounds the wait for a stop that never comes, so a broken test cannot hang.
constexpr platform::Milliseconds kStopWaitLimit{60000};

}  // namespace

extern "C" int Download(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                        const char* app_images, const char* boot_images, const char* version_folder,
                        FendrelReportFunction report, void* context) {
    {
        std::ofstream call(platform::JoinPath(version_folder, "flash-call.txt"));
        call << "library " << FENDREL_PLUGIN_NAME << "\n"
             << "port " << (port != nullptr ? "given" : "none") << "\n"
             << "stop-event " << (stop_event != nullptr ? "given" : "none") << "\n"
             << "erase-efs " << erase_efs << "\n"
             << "app " << app_images << "\n"
             << "boot " << boot_images << "\n";
    }
    std::ifstream script(platform::JoinPath(version_folder, "flash-script.txt"));
    std::string line;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        std::string action;
        words >> action;
        if (action == "report") {
            int code = 0, b = 0, c = 0, d = 0;
            words >> code >> b >> c >> d;
            report(code, b, c, d, context);
        } else if (action == "wait-for-stop") {
            if (stop_event != nullptr)
                stop_event->Wait(kStopWaitLimit);
            return 0;
        } else if (action == "return") {
            int result = 1;
            words >> result;
            return result;
        }
    }
    return 1;
}
