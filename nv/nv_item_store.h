// The NV item store: which NV items exist (from the NV structure definition file beside the
// program) and the item values read from one phone, until they are saved as an NV backup file.
//
// A port worker builds its own store for each backup; the store never talks to the phone. It is
// used by one thread only and has no locks. Problems with its files reach the operator as message
// boxes through platform::CurrentPrompts(), shown from the calling thread; the calls return once
// the operator has answered.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "nv/nv_item.h"
#include "platform/files.h"
#include "platform/wall_clock.h"

namespace fendrel {

// The name of the definition file, looked for in the program directory.
inline constexpr char kNvDefinitionFileName[] = "NV Decoder.zdf";

// The store's messages, as the stations show them.
inline constexpr char kNvDefinitionFileError[] = "Open NV struct file(NV Decoder.zdf) error!";
inline constexpr char kNvBackupCreateError[] = "Can't the Create the file.";
inline constexpr char kNvBackupOpenError[] = "Can't the Open the file.";

// The program directory followed by kNvDefinitionFileName.
std::string NvDefinitionPath();

// What the store reads the time from and writes its backup files through. The clock must
// outlive the store.
struct NvStoreServices {
    const platform::WallClock* wall_clock = &platform::SystemWallClock();
    platform::StagedFileOpener open_staged_file = [](const std::string& path, std::string* error) {
        return platform::CreateStagedFile(path, error, platform::Durability::kOnDisk);
    };
};

class NvItemStore {
  public:
    // Loads the definitions from NvDefinitionPath().
    NvItemStore();
    // Loads the definitions from `definition_path`. When the file cannot be read the operator
    // sees kNvDefinitionFileError (a file error whose detail names the file and the fault) and
    // the store works on without the definitions it could not read (none at all when the file
    // is missing, or is not a regular file).
    explicit NvItemStore(std::string definition_path, NvStoreServices services = {});

    // Removes every held item.
    void clear_items();

    // Holds `data` as the value of item `id`, replacing an earlier value. Always true.
    bool set_item(std::uint16_t id, std::span<const std::uint8_t, kNvItemDataSize> data);

    // False, leaving both lists as they are, when the definition file defined no item at all.
    // Otherwise replaces the lists with every defined item number in ascending order and, at the
    // same position, its name; true.
    bool list_defined_items(std::vector<std::uint16_t>& ids, std::vector<std::string>& names) const;

    // Writes the held items, in ascending item number, and the trailer with the digest and the
    // local time into the backup file `path` (format in nv/backup_file.h), replacing a file
    // already there. The file is built under a temporary name beside `path` and flushed to disk
    // before it takes that name, so `path` never holds a partial backup. On failure the
    // temporary file is removed, `path` keeps what it had, the operator sees
    // kNvBackupCreateError (the file could not be created or its items not written) or
    // kNvBackupOpenError (the trailer could not be added or the file not put in place) as a file
    // error naming the file and the fault, and the result is false.
    bool save_backup(const std::string& path);

    const std::string& definition_path() const { return definition_path_; }
    // Accepted definition lines in file order (the first line of an item number wins).
    const std::vector<NvItemDefinition>& definitions() const { return definitions_; }
    const std::map<std::uint16_t, NvItem>& items() const { return items_; }

  private:
    void LoadDefinitions();
    // Writes the backup file; null on success, else the message for the operator, with
    // `detail` naming the file and the fault.
    const char* WriteBackup(const std::string& path, std::string& detail) const;

    std::string definition_path_;
    NvStoreServices services_;
    std::map<std::uint16_t, NvItem> items_;
    std::map<std::uint16_t, std::string> names_;
    std::vector<NvItemDefinition> definitions_;
};

}  // namespace fendrel
