// Doubles of everything a worker is given, all writing into one journal, so a test sees the
// worker's messages and its calls into the steps in the order they happened.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/download_thread.h"
#include "platform/clock.h"

namespace fendrel::testing {

// The worker's posts and the doubles' calls, one line each: "START 3", "STATUS 3 Detecting
// phone...", "PROGRESS 3 12", "open 3", "switch", ...; a STATUS or ERROR line carries the status
// text the worker holds at that moment, as a page would read it.
class Journal final : public platform::Notifier {
  public:
    void Post(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam) override;
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    // The lines without PROGRESS posts, which most sequence tests do not look at.
    std::vector<std::string> Steps() const;
    const std::vector<std::string>& lines() const { return lines_; }
    int Count(const std::string& line) const;

    const CDownloadThread* worker = nullptr;

  private:
    std::vector<std::string> lines_;
};

// The steps that talk DIAG are the serial link's and the NV backup's, both doubled here, so the
// diagnostic channel only needs to exist.
class FakeDiagnosticChannel final : public CDMCmd {
  public:
    void Attach(platform::SerialPort&) override {}
    void Detach() override {}
    DMSS_RET_E_TYPE ReadStatus(STATUS_S_TYPE&) override { return DMSS_SUCCESS; }
    DMSS_RET_E_TYPE ReadNV(NV_S_TYPE&) override { return DMSS_SUCCESS; }
    DMSS_RET_E_TYPE ChangeMode(MODE_CHANGE_E_TYPE) override { return DMSS_SUCCESS; }
    DMSS_RET_E_TYPE SwitchToDownloader() override { return DMSS_SUCCESS; }
    DMSS_RET_E_TYPE ResetPhone() override { return DMSS_SUCCESS; }
    DMSS_RET_E_TYPE ResetPhone9006() override { return DMSS_SUCCESS; }
};

class FakeDownloadChannel final : public CDLCmd {
  public:
    explicit FakeDownloadChannel(Journal& journal) : journal_(journal) {}
    void Attach(platform::SerialPort&) override {}
    void Detach() override {}
    DL_RET_E_TYPE DLGetBBinfo(BBINFO_S_TYPE& info) override;
    DL_RET_E_TYPE DLVerifyVersion(unsigned short version) override;

    DL_RET_E_TYPE bbinfo_result = DMSS_TIMEOUT;
    std::uint32_t boot_block = 0;
    DL_RET_E_TYPE verify_result = DMSS_SUCCESS;

  private:
    Journal& journal_;
};

class FakeChannels final : public ChannelFactory {
  public:
    explicit FakeChannels(Journal& journal) : journal_(journal) {}
    std::unique_ptr<CDLCmd> CreateDownloadChannel(platform::ManualResetEvent& stop) override;
    std::unique_ptr<CDMCmd> CreateDiagnosticChannel(platform::ManualResetEvent& stop) override;

    FakeDownloadChannel* download = nullptr;  // the last one made
    std::vector<const platform::ManualResetEvent*> stop_events;

  private:
    Journal& journal_;
};

// The serial link: opening follows `open_results` (then `open_default`), a failed open with
// message leaves "Can not open port!" as the real link does, the switch answers
// `switch_result`, each re-discovery takes the next of `rediscovered` ("" once they run out), and
// the phone is at `usb_place`.
struct FakeLinkScript {
    std::string usb_place = "1-1";
    std::deque<bool> open_results;
    bool open_default = true;
    bool switch_result = true;
    std::deque<std::string> rediscovered;
};

class FakeSerialLinks final : public SerialLinkFactory {
  public:
    explicit FakeSerialLinks(Journal& journal) : journal_(journal) {}
    std::unique_ptr<SerialLink> Create(CDownloadThread& worker) override;

    FakeLinkScript script;

  private:
    Journal& journal_;
};

// A step that logs its name and runs `action` (default: succeed).
struct FakeStep final : public NvBackupStep, public MassStorageRoute {
    FakeStep(Journal& step_journal, std::string step_name)
        : journal(step_journal), name(std::move(step_name)) {}
    bool Run(CDownloadThread& worker) override;

    Journal& journal;
    std::string name;
    std::function<bool(CDownloadThread&)> action;
};

// Loads nothing from disk: "load NAME" is logged, and the library's Download runs `download`
// (null `download`: the library cannot be loaded).
class FakeFlashLibraries final : public FlashLibraryLoader {
  public:
    using DownloadAction = std::function<int(FendrelReportFunction report, void* context)>;
    explicit FakeFlashLibraries(Journal& journal) : journal_(journal) {}
    std::unique_ptr<FlashLibrary> Load(std::string_view file_name, std::string& error) override;

    DownloadAction download = [](FendrelReportFunction, void*) { return 1; };
    // What the last Download call was given.
    bool had_port = false;
    const FendrelStopEvent* stop_event = nullptr;
    int erase_efs = -1;
    std::string app_images, boot_images, version_folder;

  private:
    Journal& journal_;
};

// One worker with every double wired in, for one port.
class WorkerRig {
  public:
    // `flash_libraries` replaces the in-process flash double (a real loader, for example).
    explicit WorkerRig(std::string port_name = "COM3", int port_kind = PORT_KIND_DIAG,
                       bool with_notifier = true, FlashLibraryLoader* flash_libraries = nullptr);

    // Runs the worker's sequence on the calling thread (the thread machinery has its own tests).
    void RunHere();

    Journal journal;
    platform::VirtualClock clock;
    FakeChannels channels{journal};
    FakeSerialLinks links{journal};
    FakeStep nv_backup{journal, "nv-backup"};
    FakeStep mass_storage{journal, "mass-storage"};
    FakeFlashLibraries flash{journal};
    DOWNLOAD_PARAM params;
    std::unique_ptr<CDownloadThread> worker;
};

}  // namespace fendrel::testing
