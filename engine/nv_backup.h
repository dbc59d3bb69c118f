// The NV backup step of a run: before anything is written to the phone, its ESN and the NV items
// of the structure file are read over the diagnostic channel and saved as a dated backup file
// under the program's Backup folder, one file per phone and run:
//   <program>/Backup/<model or OTHER>/<YYYY_MM_DD>/<ESN>_<port>_<HH_MM_SS>.znv
#pragma once

#include <cstdint>
#include <string>

#include "engine/nv_backup_step.h"
#include "platform/wall_clock.h"

namespace fendrel {

class NvItemStore;

// The backup holds the phone's ESN (the status record's, 4 bytes little-endian) as this item.
inline constexpr std::uint16_t kNvBackupEsnItem = 0;

struct NvBackupServices {
    // Where "NV Decoder.zdf" and the Backup folder lie; empty: the program directory.
    std::string program_directory;
    // The local time of the folder and file names, and of the backup's trailer.
    const platform::WallClock* wall_clock = &platform::SystemWallClock();
};

class NvBackup final : public NvBackupStep {
  public:
    explicit NvBackup(NvBackupServices services = {}) : services_(std::move(services)) {}

    // Nothing happens (true, nothing posted) unless the phone was detected and the ESN or the RF
    // option is on. On a download-mode port, whose boot loader cannot answer NV reads, the step
    // says so with STATUS, writes nothing and lets the run go on (true). Otherwise: WAIT; a new
    // NvItemStore kept in the worker; the ESN from the status record as item 0 (ESN option);
    // every defined item in ascending number, each announced with STATUS and worth
    // 0.2 / (number of items) of progress (RF option); then the folders and the file, whose
    // failure the store reports; CONTINUE when all went well.
    //
    // An item the phone answers with a non-zero NV status is not there and is left out. Any
    // other failed read ends the step at once with "Backup NV(<name>) fail!" (NV_ESN for the
    // status read) and ERROR, and no file is written: a time-out, a malformed or damaged answer,
    // a port that failed or went away, a Stop, and a refusal (a DIAG error packet or a download
    // NAK) alike. A phone that refuses NV reads (locked, in the wrong mode, not running its
    // firmware) would otherwise leave a backup that holds nothing; an item a site's phones
    // always refuse belongs out of "NV Decoder.zdf". A Stop between two reads ends the step the
    // same way at the next item.
    bool Run(CDownloadThread& worker) override;

  private:
    bool BackupItems(CDownloadThread& worker, NvItemStore& store) const;
    // Makes the folder unless it exists, trying twice; says nothing when it cannot.
    void MakeFolder(CDownloadThread& worker, const std::string& folder) const;
    std::string ProgramDirectory() const;

    NvBackupServices services_;
};

}  // namespace fendrel
