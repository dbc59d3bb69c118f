// libEmmc.so (Emmc.dll): the flash-download plugin of the flash type "EMMC".
//
// The eMMC sets of flashlibs/support/image_set_files.h (where the plugin looks for them): a
// firehose set, written over Sahara and Firehose as by the "MULTI" plugin
// (flashlibs/support/firehose_download.h), or an eMMC set of an MPRG8X25-type programmer,
// uploaded over DMSS download to show the eMMC as a disk for the worker's raw-disk route
// (flashlibs/support/emmc_programmer_route.h). Any other folder: "Can not find ram file!" (code
// 0), and the download fails.
#include "flashlibs/support/plugin_entry.h"

extern "C" int Download(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                        const char* app_images, const char* boot_images, const char* version_folder,
                        FendrelReportFunction report, void* context) {
    using namespace fendrel::flashlibs;
    return RunPlugin(FlashRoute::kEmmc,
                     MakePluginCall(port, stop_event, erase_efs, app_images, boot_images,
                                    version_folder, report, context));
}
