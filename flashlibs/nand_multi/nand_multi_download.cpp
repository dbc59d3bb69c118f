// libNandMulDL.so (NandMulDL.dll): the flash-download plugin of the flash type "MULTI", the one
// both download pages use by default.
//
// An image set with a firehose programmer (prog_emmc_firehose_8x26.mbn or _8x10.mbn) is written
// over Sahara and Firehose: flashlibs/support/firehose_download.h tells what the plugin does and
// the table of what it reports; flashlibs/support/image_set_files.h where it finds the files
// (the version folder, or the image folder above a VERSION folder that lacks them). The worker
// then ends the run with SUCCESS itself. Image sets of the older phones (DMSS download and
// streaming download) are not written yet: the plugin reports that it cannot find the RAM
// programmer (code 0) and fails.
#include "flashlibs/support/plugin_entry.h"

extern "C" int Download(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                        const char* app_images, const char* boot_images, const char* version_folder,
                        FendrelReportFunction report, void* context) {
    using namespace fendrel::flashlibs;
    return RunPlugin(FlashRoute::kMulti,
                     MakePluginCall(port, stop_event, erase_efs, app_images, boot_images,
                                    version_folder, report, context));
}
