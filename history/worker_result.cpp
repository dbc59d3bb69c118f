#include "history/worker_result.h"

#include <cstdio>

#include "engine/download_thread.h"
#include "engine/nv_backup.h"
#include "nv/nv_item_store.h"

namespace fendrel::history {
namespace {

std::string BackedUpEsn(const CDownloadThread& worker) {
    if (worker.nv_store() == nullptr)
        return {};
    const auto& items = worker.nv_store()->items();
    const auto esn = items.find(kNvBackupEsnItem);
    if (esn == items.end())
        return {};
    const NvItemData& data = esn->second.data;
    const std::uint32_t value =
        data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

}  // namespace

ResultRecord ResultOfWorker(const CDownloadThread& worker, const std::string& port, bool passed,
                            Moment started, Moment ended, const RunFacts& facts) {
    const DOWNLOAD_PARAM& params = worker.params();
    return {
        .started = UtcText(started),
        .ended = UtcText(ended),
        .station = facts.station,
        .port = port,
        .usb_place = worker.usb_place(),
        .port_kind = worker.port_kind(),
        .flash_type = params.flash_type,
        .image_folder = params.image_folder,
        .image_set_digest = facts.image_set_digest,
        .esn = BackedUpEsn(worker),
        .nv_backup = worker.nv_backup_path(),
        .status = worker.status_text(),
        .passed = passed,
    };
}

}  // namespace fendrel::history
