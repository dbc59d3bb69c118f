// What every Download export of this folder does with its call: the image set's route chosen,
// no exception let out.
#pragma once

#include "flashlibs/support/plugin_call.h"
#include "flashlibs/support/progress_reports.h"

namespace fendrel::flashlibs {

// Writes the image set of `call` by its route: the firehose route (firehose_download.h) when the
// image set has a firehose programmer (image_set_files.h says where it is looked for). Other
// image sets have no route yet: code 0, "Can not find ram file!", and a failed download.
// Returns Download's result; an exception (out of memory) is a failed download, "Download fail!".
int RunPlugin(FlashRoute route, const PluginCall& call) noexcept;

}  // namespace fendrel::flashlibs
