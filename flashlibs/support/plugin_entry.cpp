#include "flashlibs/support/plugin_entry.h"

#include "flashlibs/support/firehose_download.h"
#include "flashlibs/support/image_set_files.h"

namespace fendrel::flashlibs {

int RunPlugin(FlashRoute route, const PluginCall& call) noexcept {
    try {
        const std::optional<FirehoseImageSet> image_set = FindFirehoseImageSet(call.version_folder);
        if (!image_set) {
            call.report(kNoProgrammer);
            return 0;
        }
        return FirehoseDownload(call, *image_set, route) ? 1 : 0;
    } catch (...) {
        call.report(kDownloadFailed);
        return 0;
    }
}

}  // namespace fendrel::flashlibs
