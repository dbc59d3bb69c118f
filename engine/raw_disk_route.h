// The raw-disk route: a phone whose flash shows as a disk (USB product 9006) is written sector by
// sector by a raw programmer that follows the set's rawprogram0.xml and patch0.xml.
//
// A run, on the runner's thread:
//  1. Pauses 3 s for the phone's disk to settle, then looks for it up to 10 times, 1 s apart:
//     the disk of the phone at the runner's USB place, or the one phone disk present when the
//     place is unknown (engine/phone_disk.h). More than one candidate: string 1118 in a message
//     box and as the status, and the route fails at once; none after every search: "Can not find
//     the phone's disk!". A disk that holds the system or carries anything mounted is refused,
//     whatever its identity (platform/disks.h CheckDiskUse).
//  2. Writes the upgrade script "upgrade-<port>" (platform/scripts.h) whole into the working
//     folder: it changes to its own folder and runs, with -n, -r rawprogram0.xml, -p patch0.xml
//     and -d <the disk>, either the site's msp.py through Python, when the working folder holds
//     one, or else the station's own fendrel-msp from the program folder, which also verifies.
//     A script that cannot be written: "can't open the file" in a message box and as the status.
//  3. Copies the script and msp.py (when there is one) into the folder of rawprogram0.xml (the
//     version folder, or the image folder above a VERSION folder: engine/image_folder.h), pauses
//     2 s, and runs the copy as a child process in a group of its own, with string 1106
//     "Upgrading" and a tick every 500 ms for at most 801 ticks.
//  4. The verdict is the script's exit status, 0 for success. Stop ends the script and whatever
//     it started within moments; so does the time-out (about 400 s), after which the copies are
//     left for a technician. Otherwise they are removed once the script has ended (msp.py only
//     when no other run of this route still uses it). No other process is ever ended.
// Every failure leaves its reason in the status text; the runner posts the verdict.
//
// One route object serves every worker of a station, several at once.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/mass_storage_route.h"
#include "engine/raw_disk_host.h"
#include "platform/disks.h"
#include "platform/mount_table.h"

namespace fendrel {

inline constexpr char kRawProgramFile[] = "rawprogram0.xml";
inline constexpr char kPatchFile[] = "patch0.xml";
inline constexpr char kSitePythonProgrammer[] = "msp.py";
inline constexpr char kStationProgrammer[] = "fendrel-msp";

// Counts the runs that use one shared file: the site's msp.py, copied beside the images once for
// every run on that folder. Any thread.
class SharedFileUsers {
  public:
    void Acquire(const std::string& path);
    // True for the last user, who removes the file.
    bool Release(const std::string& path);

  private:
    std::mutex mutex_;
    std::map<std::string, int> users_;
};

struct RawDiskServices {
    platform::DiskEnumerator disks = platform::DiskEnumerator::FromEnvironment();
    platform::MountTable mounts = platform::MountTable::System();
    // Where fendrel-msp lies; empty: the program directory.
    std::string program_directory;
    // Where msp.py is looked for and the script is first written; empty: the process's current
    // directory.
    std::string working_directory;
};

class RawDiskRoute final : public MassStorageRoute {
  public:
    static constexpr platform::Milliseconds kSettlePause{3000};
    static constexpr int kDiskSearches = 10;
    static constexpr platform::Milliseconds kDiskSearchPause{1000};
    static constexpr platform::Milliseconds kStartPause{2000};
    static constexpr platform::Milliseconds kTickInterval{500};
    static constexpr int kMostTicks = 801;

    explicit RawDiskRoute(RawDiskServices services = {}) : services_(std::move(services)) {}

    // The route for a worker: its version folder, port, USB place, clock, stop event, status and
    // progress tick.
    bool Run(CDownloadThread& worker) override;
    bool Run(RawDiskHost& host);

    // The programmer's command line as the script runs it (program first) for `disk`.
    std::vector<std::string> ProgrammerCommand(const std::string& disk) const;

  private:
    std::optional<platform::Disk> FindPhoneDisk(RawDiskHost& host) const;
    std::string WorkingDirectory() const;

    const RawDiskServices services_;
    SharedFileUsers shared_files_;
};

}  // namespace fendrel
