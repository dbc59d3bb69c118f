// The first step of every DMSS download route: the set's RAM programmer (ram_programmer.h)
// uploaded to the phone's boot loader and started with GO.
//
// Reports (codes: plugin_call.h): 0 when the programmer cannot be loaded; 1 with the bytes the
// boot loader took (its first piece and its end: progress_reports.h); 2 with the bytes taken and
// the programmer's size when the boot loader is silent, refuses a write or refuses GO (a NAK's
// reason says which), the port fails or goes away, or the worker stops (the wait ends at once);
// 24 once GO was taken.
#pragma once

#include "flashlibs/support/image_set_files.h"
#include "flashlibs/support/plugin_call.h"
#include "flashlibs/support/progress_reports.h"
#include "qcom/streaming_host.h"

namespace fendrel::flashlibs {

// Uploads and starts the programmer of `image_set` on call.port; true once it runs.
bool StartRamProgrammer(const PluginCall& call, const ImageSet& image_set,
                        ProgressReports& progress);

// The last step of a running programmer's route: code 20, the reset, and 21 when it fails.
bool RestartPhone(const PluginCall& call, qcom::StreamingHost& host);

}  // namespace fendrel::flashlibs
