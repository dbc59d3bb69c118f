#include "flashlibs/support/plugin_entry.h"

#include "flashlibs/support/emmc_programmer_route.h"
#include "flashlibs/support/firehose_download.h"
#include "flashlibs/support/image_set_files.h"
#include "flashlibs/support/nand_multi_download.h"
#include "flashlibs/support/nor_download.h"

namespace fendrel::flashlibs {
namespace {

bool Download(FlashRoute route, const PluginCall& call) {
    if (route == FlashRoute::kNor)
        return NorDownload(call);
    const std::optional<ImageSet> image_set = FindImageSet(call.version_folder);
    const bool nand = image_set && image_set->kind == ImageSetKind::kNandMultiImage;
    if (!image_set || (nand && route != FlashRoute::kMulti)) {
        call.report(kNoProgrammer);
        return false;
    }
    switch (image_set->kind) {
        case ImageSetKind::kFirehose:
            return FirehoseDownload(call, *image_set, route);
        case ImageSetKind::kEmmcProgrammer:
            return EmmcProgrammerRoute(call, *image_set, route);
        case ImageSetKind::kNandMultiImage:
            return NandMultiDownload(call, *image_set);
        case ImageSetKind::kNorProgrammer:
            break;
    }
    call.report(kNoProgrammer);
    return false;
}

}  // namespace

int RunPlugin(FlashRoute route, const PluginCall& call) noexcept {
    try {
        return Download(route, call) ? 1 : 0;
    } catch (...) {
        call.report(kDownloadFailed);
        return 0;
    }
}

}  // namespace fendrel::flashlibs
