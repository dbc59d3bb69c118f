// libNorDL.so (NorDL.dll): the flash-download plugin of every flash type but "MULTI" and "EMMC"
// (fendrel-cli flash --type NOR): a NOR phone written from the app and boot image lists through
// the station's NOR programmer. flashlibs/support/nor_download.h tells what the plugin does, where
// it finds the programmer, and the table of what it reports.
#include "flashlibs/support/plugin_entry.h"

extern "C" int Download(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                        const char* app_images, const char* boot_images, const char* version_folder,
                        FendrelReportFunction report, void* context) {
    using namespace fendrel::flashlibs;
    return RunPlugin(FlashRoute::kNor,
                     MakePluginCall(port, stop_event, erase_efs, app_images, boot_images,
                                    version_folder, report, context));
}
