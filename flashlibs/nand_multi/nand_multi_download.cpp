// libNandMulDL.so (NandMulDL.dll): the flash-download plugin of the flash type "MULTI", the one
// both download pages use by default.
//
// Which set the version folder holds is decided by its programmer (flashlibs/support/
// image_set_files.h, where the plugin also looks): a firehose programmer
// (prog_emmc_firehose_8x26.mbn or _8x10.mbn) makes a firehose set, written over Sahara and
// Firehose (flashlibs/support/firehose_download.h), after which the worker ends the run with
// SUCCESS itself; MPRG8X25Q or MPRG8X25 (.bin, or .hex alone) an eMMC set: the programmer is
// uploaded over DMSS download and shows the eMMC as a disk, and the worker's run goes on to the
// raw-disk route (flashlibs/support/emmc_programmer_route.h); MPRG7627A a NAND multi-image set,
// written over streaming download (flashlibs/support/nand_multi_download.h). Each of those
// headers has the table of what the plugin reports. A folder with none of these programmers:
// "Can not find ram file!" (code 0), and the download fails.
#include "flashlibs/support/plugin_entry.h"

extern "C" int Download(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                        const char* app_images, const char* boot_images, const char* version_folder,
                        FendrelReportFunction report, void* context) {
    using namespace fendrel::flashlibs;
    return RunPlugin(FlashRoute::kMulti,
                     MakePluginCall(port, stop_event, erase_efs, app_images, boot_images,
                                    version_folder, report, context));
}
