#include "engine/nv_backup.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "app/text_lookup.h"
#include "engine/download_thread.h"
#include "engine/status_format.h"
#include "engine/worker_messages.h"
#include "nv/nv_item_store.h"
#include "platform/paths.h"
#include "ports/port_record.h"

namespace fendrel {
namespace {

// Creating a backup folder is tried twice, with this pause after a failed attempt.
constexpr int kFolderAttempts = 2;
constexpr platform::Milliseconds kFolderRetryPause{100};

constexpr std::uint16_t kEsnItem = kNvBackupEsnItem;
constexpr char kEsnItemName[] = "NV_ESN";
// Used for the model folder while no step fills in the phone's model name.
constexpr char kUnknownModelFolder[] = "OTHER";
// The share of the total progress weight that the whole item loop carries.
constexpr float kItemLoopWeight = 0.2f;

std::string TwoDigits(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", number);
    return text;
}

// Ends the step: "Backup NV(<item>) fail!" with ERROR.
bool BackupFailed(CDownloadThread& worker, std::string_view item_name) {
    worker.ShowError(FormatName(GetText(text::kBackupNvFail), item_name));
    return false;
}

}  // namespace

std::string NvBackup::ProgramDirectory() const {
    return services_.program_directory.empty() ? platform::ProgramDirectory()
                                               : services_.program_directory;
}

bool NvBackup::Run(CDownloadThread& worker) {
    const DOWNLOAD_PARAM& params = worker.params();
    if (!worker.detected() || (!params.backup_esn && !params.backup_rf))
        return true;
    if (worker.port_kind() == PORT_KIND_DLOAD) {
        // A boot loader does not speak the diagnostic protocol: every read would fail, and a
        // file of zeros would pass for a backup. The run goes on without one.
        worker.ShowStatus(GetText(text::kNoNvBackupInDownloadMode));
        return true;
    }
    worker.Post(WorkerMessages().wait);

    auto store =
        std::make_shared<NvItemStore>(platform::JoinPath(ProgramDirectory(), kNvDefinitionFileName),
                                      NvStoreServices{.wall_clock = services_.wall_clock});
    worker.set_nv_store(store);
    store->clear_items();

    if (params.backup_esn) {
        STATUS_S_TYPE status{};
        if (worker.diagnostic_channel().ReadStatus(status) != DMSS_SUCCESS)
            return BackupFailed(worker, kEsnItemName);
        std::uint8_t data[kNvItemDataSize] = {};
        std::memcpy(data, &status.esn, sizeof status.esn);
        worker.ShowStatus(FormatName(GetText(text::kBackuppingNv), kEsnItemName));
        store->set_item(kEsnItem, data);
    }
    if (params.backup_rf && !BackupItems(worker, *store))
        return false;

    const platform::LocalDateTime now = services_.wall_clock->Now();
    const std::string root = ProgramDirectory() + "Backup";
    const std::string model = platform::JoinPath(
        root, worker.model_name().empty() ? kUnknownModelFolder : worker.model_name());
    const std::string day = platform::JoinPath(
        model, std::to_string(now.year) + "_" + TwoDigits(now.month) + "_" + TwoDigits(now.day));
    for (const std::string& folder : {root, model, day})
        MakeFolder(worker, folder);

    const std::string path = platform::JoinPath(
        day, worker.esn() + "_" + worker.port_name() + "_" + TwoDigits(now.hour) + "_" +
                 TwoDigits(now.minute) + "_" + TwoDigits(now.second) + ".znv");
    worker.set_nv_backup_path(path);
    if (!store->save_backup(path))
        return false;

    worker.Post(WorkerMessages().resume);
    return true;
}

bool NvBackup::BackupItems(CDownloadThread& worker, NvItemStore& store) const {
    std::vector<std::uint16_t> ids;
    std::vector<std::string> names;
    store.list_defined_items(ids, names);
    for (std::size_t k = 0; k < ids.size(); ++k) {
        if (ids[k] == kEsnItem)
            continue;
        if (worker.stop_requested())
            return BackupFailed(worker, names[k]);
        worker.ShowStatus(FormatName(GetText(text::kBackuppingNv), names[k]));
        NV_S_TYPE record{};
        record.item = ids[k];
        if (worker.diagnostic_channel().ReadNV(record) != DMSS_SUCCESS)
            return BackupFailed(worker, names[k]);
        // The phone answered: a non-zero NV status says the item is not there (never written,
        // or not one this phone has), which leaves it out of the backup.
        if (record.status == 0)
            store.set_item(ids[k], record.data);
        worker.AddProgress(kItemLoopWeight / static_cast<float>(ids.size()));
        worker.Tick();
    }
    return true;
}

void NvBackup::MakeFolder(CDownloadThread& worker, const std::string& folder) const {
    for (int attempt = 1; attempt <= kFolderAttempts; ++attempt) {
        std::error_code error;
        if (std::filesystem::is_directory(folder, error) ||
            std::filesystem::create_directory(folder, error))
            return;
        worker.clock().Sleep(kFolderRetryPause);
    }
}

}  // namespace fendrel
