// The NV backup step of a run: before anything is written to the phone, its ESN and the NV items
// of the structure file are read over the diagnostic channel and saved as a dated backup file
// under the program's Backup folder, one file per phone and run:
//   <program>/Backup/<model or OTHER>/<YYYY_MM_DD>/<ESN>_<port>_<HH_MM_SS>.znv
#pragma once

#include <string>

#include "engine/nv_backup_step.h"
#include "platform/wall_clock.h"

namespace fendrel {

class NvItemStore;

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
    // option is on. Otherwise: WAIT; a new NvItemStore kept in the worker; the ESN from the status
    // record as item 0 (ESN option); every defined item in ascending number, each announced with
    // STATUS and worth 0.2 / (number of items) of progress (RF option) — a Stop ends the loop at
    // the next item with "Backup NV(<name>) fail!" and ERROR; items the phone does not answer
    // with a zero result and status are left out; then the folders and the file, whose failure
    // the store reports; CONTINUE when all went well.
    bool Run(CDownloadThread& worker) override;

  private:
    bool BackupItems(CDownloadThread& worker, NvItemStore& store) const;
    // Makes the folder unless it exists, trying twice; says nothing when it cannot.
    void MakeFolder(CDownloadThread& worker, const std::string& folder) const;
    std::string ProgramDirectory() const;

    NvBackupServices services_;
};

}  // namespace fendrel
