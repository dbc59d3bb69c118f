// What every Download export of this folder does with its call: the route chosen, no exception
// let out.
#pragma once

#include "flashlibs/support/plugin_call.h"
#include "flashlibs/support/progress_reports.h"

namespace fendrel::flashlibs {

// Writes the images of `call` by the plugin's route. "NOR" (kNor) writes the app and boot lists
// (nor_download.h). "MULTI" and "EMMC" write the image set the version folder holds, by its kind
// (image_set_files.h): a firehose set (firehose_download.h), an eMMC set of a DMSS programmer
// (emmc_programmer_route.h); "MULTI" also a NAND multi-image set (nand_multi_download.h). A
// folder without a set of those kinds: code 0, "Can not find ram file!", and a failed download.
// Returns Download's result; an exception (out of memory) is a failed download, "Download fail!".
int RunPlugin(FlashRoute route, const PluginCall& call) noexcept;

}  // namespace fendrel::flashlibs
