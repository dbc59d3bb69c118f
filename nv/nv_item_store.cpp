#include "nv/nv_item_store.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "nv/backup_file.h"
#include "nv/definition_line.h"
#include "platform/paths.h"
#include "platform/prompts.h"
#include "platform/text_file.h"

namespace fendrel {

std::string NvDefinitionPath() {
    return platform::JoinPath(platform::ProgramDirectory(), kNvDefinitionFileName);
}

NvItemStore::NvItemStore() : NvItemStore(NvDefinitionPath()) {}

NvItemStore::NvItemStore(std::string definition_path, NvStoreServices services)
    : definition_path_(std::move(definition_path)), services_(std::move(services)) {
    LoadDefinitions();
}

// The stations also post a quit message to the calling thread after the error message; a port
// worker has no message loop, so that has no effect and is left out.
void NvItemStore::LoadDefinitions() {
    platform::TextModeReader reader(definition_path_);
    if (!reader.is_open()) {
        platform::ShowFileError(kNvDefinitionFileError, reader.error());
        return;
    }
    std::string line;
    for (;;) {
        const auto read = reader.ReadLine(line, kMaxDefinitionLineLength);
        if (read == platform::TextModeReader::Result::kEnd)
            break;
        if (read == platform::TextModeReader::Result::kTooLong)
            continue;
        std::optional<NvDefinitionLine> parsed = ParseDefinitionLine(line);
        if (!parsed)
            continue;
        const std::uint16_t id = parsed->definition.id;
        if (names_.try_emplace(id, std::move(parsed->name)).second)
            definitions_.push_back(std::move(parsed->definition));
    }
    if (reader.failed())
        platform::ShowFileError(kNvDefinitionFileError, reader.error());
}

void NvItemStore::clear_items() {
    items_.clear();
}

bool NvItemStore::set_item(std::uint16_t id, std::span<const std::uint8_t, kNvItemDataSize> data) {
    NvItem& item = items_[id];
    item.id = id;
    std::copy(data.begin(), data.end(), item.data.begin());
    return true;
}

bool NvItemStore::list_defined_items(std::vector<std::uint16_t>& ids,
                                     std::vector<std::string>& names) const {
    if (names_.empty())
        return false;
    ids.clear();
    names.clear();
    for (const auto& [id, name] : names_) {
        ids.push_back(id);
        names.push_back(name);
    }
    return true;
}

bool NvItemStore::save_backup(const std::string& path) {
    std::string detail;
    const char* failure = WriteBackup(path, detail);
    if (failure == nullptr)
        return true;
    // The temporary file is gone by now: nothing half-written waits behind the message box.
    platform::ShowFileError(failure, detail);
    return false;
}

const char* NvItemStore::WriteBackup(const std::string& path, std::string& detail) const {
    std::string body;
    BackupDigest digest;
    for (const auto& [id, item] : items_) {
        const std::string line = FormatBackupLine(item);
        digest.AddLine(line);
        body += line;
        body += kBackupLineEnd;
    }

    const std::unique_ptr<platform::StagedFile> file = services_.open_staged_file(path, &detail);
    if (file == nullptr)
        return kNvBackupCreateError;
    if (!file->Append(body)) {
        detail = file->error();
        return kNvBackupCreateError;
    }
    const std::string trailer = FormatBackupTrailer(digest.Text(), services_.wall_clock->Now()) +
                                std::string(kBackupLineEnd);
    if (!file->Append(trailer) || !file->Commit()) {
        detail = file->error();
        return kNvBackupOpenError;
    }
    return nullptr;
}

}  // namespace fendrel
