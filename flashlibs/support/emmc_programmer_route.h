// The eMMC route of a DMSS download set (an MPRG8X25-type programmer, image_set_files.h): the
// programmer is uploaded and started, and shows the phone's eMMC to the computer as a disk (USB
// product 9006). The download port then goes away; once it has, the plugin's work is done and the
// worker's run goes on to the raw-disk route, which writes the disk by the set's rawprogram0.xml.
//
// Reports: 25 with sub-code 1 when the set has no rawprogram0.xml (checked before the phone is
// touched); the programmer's upload and start (programmer_start.h: 0, 1, 2, 24); 2 with the
// programmer's size twice when the download port is still there kPortGoneTimeout after GO (or the
// worker stopped while it waited).
#pragma once

#include "flashlibs/support/image_set_files.h"
#include "flashlibs/support/plugin_call.h"
#include "flashlibs/support/progress_reports.h"
#include "platform/clock.h"

namespace fendrel::flashlibs {

// A programmer re-enumerates the phone within moments of its start.
inline constexpr platform::Milliseconds kPortGoneTimeout{15000};

// True once the programmer runs and the download port has gone.
bool EmmcProgrammerRoute(const PluginCall& call, const ImageSet& image_set, FlashRoute route);

}  // namespace fendrel::flashlibs
