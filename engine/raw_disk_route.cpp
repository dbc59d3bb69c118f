#include "engine/raw_disk_route.h"

#include <filesystem>

#include "app/text_lookup.h"
#include "engine/download_thread.h"
#include "engine/image_folder.h"
#include "engine/phone_disk.h"
#include "engine/status_format.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/prompts.h"
#include "platform/scripts.h"

namespace fendrel {
namespace {

namespace fs = std::filesystem;
using platform::ChildProcess;

// The largest site file copied beside the images (msp.py); the script is a few lines.
constexpr std::size_t kLargestCopy = 16 << 20;
// How long an ended script's process may take to go once it was told to.
constexpr platform::Milliseconds kEndedScriptCollect{5000};

// The worker as the host of the route.
class WorkerRawDiskHost final : public RawDiskHost {
  public:
    explicit WorkerRawDiskHost(CDownloadThread& worker) : worker_(worker) {}

    std::string version_folder() const override { return worker_.params().version_folder; }
    std::string port_name() const override { return worker_.port_name(); }
    std::string usb_place() const override { return worker_.usb_place(); }
    platform::Clock& clock() override { return worker_.clock(); }
    const platform::ManualResetEvent& stop_event() const override { return worker_.stop_event(); }
    bool stop_requested() const override { return worker_.stop_requested(); }
    void SetStatus(std::string text) override { worker_.SetStatus(std::move(text)); }
    void ShowStatus(std::string text) override { worker_.ShowStatus(std::move(text)); }
    void Tick() override { worker_.Tick(); }

  private:
    CDownloadThread& worker_;
};

// "upgrade-COM3": the script's name, of the port name's characters that any file system takes.
std::string ScriptStem(std::string_view port_name) {
    std::string stem = "upgrade";
    if (!port_name.empty())
        stem += '-';
    for (const char c : port_name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        stem += plain ? c : '_';
    }
    return stem;
}

// The last line a programmer wrote that says something.
std::string LastLine(std::string_view output) {
    while (!output.empty() &&
           (output.back() == '\n' || output.back() == '\r' || output.back() == ' '))
        output.remove_suffix(1);
    const std::size_t start = output.find_last_of("\r\n");
    return std::string(start == std::string_view::npos ? output : output.substr(start + 1));
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code failure;
    return fs::equivalent(a, b, failure);
}

// Copies `from` over `to` so that `to` is always whole.
bool CopyFile(const std::string& from, const std::string& to) {
    const auto bytes = platform::ReadFileBytes(from, kLargestCopy);
    return bytes &&
           platform::WriteFileAtomically(to, *bytes, nullptr, platform::Durability::kInFileCache);
}

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

// The files one run places in the version folder: its own script, and the site's msp.py, which
// every run on that folder shares.
class ScriptCopies {
  public:
    ScriptCopies(SharedFileUsers& shared, std::string script, std::string script_copy,
                 std::string programmer, std::string programmer_copy)
        : shared_(shared),
          script_(std::move(script)),
          script_copy_(std::move(script_copy)),
          programmer_(std::move(programmer)),
          programmer_copy_(std::move(programmer_copy)) {
        // A site whose msp.py already lies in the version folder keeps it there.
        if (!programmer_.empty() && SameFile(programmer_, programmer_copy_))
            programmer_.clear();
        if (!programmer_.empty())
            shared_.Acquire(programmer_copy_);
    }
    ScriptCopies(const ScriptCopies&) = delete;
    ScriptCopies& operator=(const ScriptCopies&) = delete;

    // Copies the files over whatever lies there. False when one cannot be copied; what was
    // copied is then removed.
    bool Place() {
        if (CopyFile(script_, script_copy_) &&
            (programmer_.empty() || CopyFile(programmer_, programmer_copy_)))
            return true;
        Remove();
        return false;
    }
    // Once the script has ended.
    void Remove() {
        RemoveFile(script_copy_);
        if (!programmer_.empty() && shared_.Release(programmer_copy_))
            RemoveFile(programmer_copy_);
        programmer_.clear();
    }
    // After a time-out the files stay for a technician to look at.
    void Keep() {
        if (!programmer_.empty())
            shared_.Release(programmer_copy_);
        programmer_.clear();
    }
    const std::string& script_copy() const { return script_copy_; }

  private:
    SharedFileUsers& shared_;
    const std::string script_;
    const std::string script_copy_;
    std::string programmer_;  // empty: nothing of the site's to copy (any more)
    const std::string programmer_copy_;
};

// A pause in which the phone may come onto the bus as a disk; Stop ends it early.
void AwaitPhone(RawDiskHost& host, platform::Milliseconds pause) {
    host.clock().WaitForDevice(
        pause, [&host](platform::Milliseconds limit) { return host.stop_event().Wait(limit); });
}

enum class ScriptEnd {
    kExited,    // the script ended by itself; its exit code tells how
    kStopped,   // the runner was asked to stop: the script was ended
    kTimedOut,  // it ran too long: it was ended
    kLost,      // it could not be waited for: it was ended
};

// Waits for the script, ticking the progress every half-second of the host's clock.
ScriptEnd AwaitScript(RawDiskHost& host, ChildProcess& script) {
    using Wait = ChildProcess::WaitResult;
    Wait result = Wait::kTimedOut;
    for (int ticks = 0;;) {
        host.clock().WaitForDevice(RawDiskRoute::kTickInterval, [&](platform::Milliseconds limit) {
            result = script.Wait(limit, &host.stop_event());
            return result != Wait::kTimedOut;
        });
        if (result == Wait::kEnded)
            return ScriptEnd::kExited;
        if (result != Wait::kTimedOut || host.stop_requested())
            break;
        host.Tick();
        if (++ticks >= RawDiskRoute::kMostTicks)
            break;
    }
    script.EndGroup();
    script.Wait(kEndedScriptCollect);
    if (result == Wait::kFailed)
        return ScriptEnd::kLost;
    return host.stop_requested() ? ScriptEnd::kStopped : ScriptEnd::kTimedOut;
}

// Runs the placed script to its end and gives the verdict, with the reason of a failure in the
// status text.
bool RunScript(RawDiskHost& host, ScriptCopies& copies) {
    ChildProcess script;
    const ChildProcess::Options options{.own_group = true, .output = ChildProcess::Output::kTail};
    if (host.stop_requested() || script.Start(platform::ScriptCommandLine(copies.script_copy()),
                                              options) != ChildProcess::StartResult::kStarted) {
        host.SetStatus(host.stop_requested()
                           ? GetText(text::kUpgradeStopped)
                           : GetText(text::kCanNotStartUpgrade) + " (" + script.error() + ")");
        copies.Remove();
        return false;
    }
    host.ShowStatus(GetText(text::kUpgrading));
    const ScriptEnd end = AwaitScript(host, script);
    if (end == ScriptEnd::kTimedOut) {
        copies.Keep();
        host.SetStatus(GetText(text::kUpgradeTimeOut));
        return false;
    }
    copies.Remove();
    if (end == ScriptEnd::kStopped) {
        host.SetStatus(GetText(text::kUpgradeStopped));
        return false;
    }
    if (end == ScriptEnd::kLost) {
        host.SetStatus(GetText(text::kCanNotStartUpgrade) + " (" + script.error() + ")");
        return false;
    }
    if (script.exit_code() == 0)
        return true;
    std::string text =
        FormatNumbers(GetText(text::kUpgradeFail), {static_cast<unsigned>(script.exit_code())});
    if (const std::string said = LastLine(script.output_tail()); !said.empty())
        text += ": " + said;
    host.SetStatus(std::move(text));
    return false;
}

}  // namespace

void SharedFileUsers::Acquire(const std::string& path) {
    const std::lock_guard lock(mutex_);
    ++users_[path];
}

bool SharedFileUsers::Release(const std::string& path) {
    const std::lock_guard lock(mutex_);
    const auto found = users_.find(path);
    if (found == users_.end() || --found->second > 0)
        return false;
    users_.erase(found);
    return true;
}

bool RawDiskRoute::Run(CDownloadThread& worker) {
    WorkerRawDiskHost host(worker);
    return Run(host);
}

std::string RawDiskRoute::WorkingDirectory() const {
    if (!services_.working_directory.empty())
        return services_.working_directory;
    return platform::CurrentDirectory().value_or(std::string());
}

std::vector<std::string> RawDiskRoute::ProgrammerCommand(const std::string& disk) const {
    std::vector<std::string> command;
    std::error_code failure;
    if (fs::is_regular_file(platform::JoinPath(WorkingDirectory(), kSitePythonProgrammer),
                            failure)) {
        command = {platform::PythonInterpreter(), kSitePythonProgrammer};
    } else {
        const std::string folder = services_.program_directory.empty()
                                       ? platform::ProgramDirectory()
                                       : services_.program_directory;
        command = {platform::JoinPath(
                       folder, std::string(kStationProgrammer) + platform::kExecutableSuffix),
                   "--verify"};
    }
    // No questions: nobody is there to answer them.
    command.insert(command.end(), {"-n", "-r", kRawProgramFile, "-p", kPatchFile, "-d", disk});
    return command;
}

std::optional<platform::Disk> RawDiskRoute::FindPhoneDisk(RawDiskHost& host) const {
    const std::string place = host.usb_place();
    for (int search = 0; search < kDiskSearches && !host.stop_requested(); ++search) {
        if (search > 0)
            AwaitPhone(host, kDiskSearchPause);
        const PhoneDiskChoice choice = ChoosePhoneDisk(services_.disks.WholeDisks(), place);
        if (choice.outcome == PhoneDiskChoice::Outcome::kSeveral) {
            const std::string text = GetText(text::kMoreThanOneDevice);
            host.SetStatus(text);
            platform::ShowMessage(text);
            return std::nullopt;
        }
        if (choice.outcome == PhoneDiskChoice::Outcome::kFound) {
            const platform::DiskUseCheck use =
                platform::CheckDiskUse(choice.disk, services_.mounts);
            if (use.use == platform::DiskUse::kFree)
                return choice.disk;
            host.SetStatus(FormatName(GetText(text::kPhoneDiskNotWritable), use.detail));
            return std::nullopt;
        }
    }
    host.SetStatus(GetText(host.stop_requested() ? text::kUpgradeStopped : text::kNoPhoneDisk));
    return std::nullopt;
}

bool RawDiskRoute::Run(RawDiskHost& host) {
    AwaitPhone(host, kSettlePause);
    const std::optional<platform::Disk> disk = FindPhoneDisk(host);
    if (!disk)
        return false;

    // The script is written whole in the working folder, then copied beside the images.
    const std::string working = WorkingDirectory();
    const std::string script_name = platform::ScriptFileName(ScriptStem(host.port_name()));
    const std::vector<std::string> command = ProgrammerCommand(disk->path);
    const std::string script = platform::JoinPath(working, script_name);
    if (!platform::WriteFileAtomically(script, platform::ScriptText(command), nullptr,
                                       platform::Durability::kInFileCache)) {
        const std::string text = GetText(text::kCanNotOpenTheFile);
        host.SetStatus(text);
        platform::ShowMessage(text);
        return false;
    }
    const bool site_programmer = command[1] == kSitePythonProgrammer;
    // The script runs where the set's rawprogram0.xml lies, which may be the folder above the
    // version folder; the version folder itself when neither holds one.
    std::string set_folder = RawProgramSetFolder(host.version_folder());
    if (set_folder.empty())
        set_folder = host.version_folder();
    ScriptCopies copies(
        shared_files_, script, platform::JoinPath(set_folder, script_name),
        site_programmer ? platform::JoinPath(working, kSitePythonProgrammer) : std::string(),
        platform::JoinPath(set_folder, kSitePythonProgrammer));
    if (!copies.Place()) {
        host.SetStatus(GetText(text::kCanNotOpenTheFile));
        return false;
    }
    host.clock().Sleep(kStartPause);
    return RunScript(host, copies);
}

}  // namespace fendrel
