#include "tests/engine/worker_doubles.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/text_lookup.h"
#include "engine/worker_messages.h"

namespace fendrel::testing {
namespace {

std::string NameOf(platform::MessageId message) {
    const WorkerMessageIds& ids = WorkerMessages();
    const std::pair<platform::MessageId, const char*> names[] = {
        {ids.start, "START"},     {ids.status, "STATUS"},   {ids.progress, "PROGRESS"},
        {ids.wait, "WAIT"},       {ids.resume, "CONTINUE"}, {ids.error, "ERROR"},
        {ids.success, "SUCCESS"}, {ids.end, "END"},
    };
    for (const auto& [id, name] : names) {
        if (id == message)
            return name;
    }
    return "message " + std::to_string(message);
}

class FakeLink final : public SerialLink {
  public:
    FakeLink(Journal& journal, FakeLinkScript& script, CDownloadThread& worker)
        : journal_(journal), script_(script), worker_(worker) {}

    bool OpenPort(int, OpenReport report) override {
        bool opened = script_.open_default;
        if (!script_.open_results.empty()) {
            opened = script_.open_results.front();
            script_.open_results.pop_front();
        }
        journal_.Add(std::string(report == OpenReport::kWithMessage ? "open " : "open quietly ") +
                     worker_.port_name() + (opened ? "" : " failed"));
        if (!opened && report == OpenReport::kWithMessage)
            worker_.SetStatus(GetText(text::kCanNotOpenPort));
        open_ = opened;
        return opened;
    }
    void CloseWithResetPhone() override {
        journal_.Add("close with ResetPhone");
        open_ = false;
    }
    void CloseWithResetPhone9006() override {
        journal_.Add("close with ResetPhone9006");
        open_ = false;
    }
    void Reset9006() override {
        journal_.Add("reset 9006");
        open_ = false;
    }
    bool GoOffline() override {
        journal_.Add("offline");
        return true;
    }
    bool SwitchToDownloadMode() override {
        journal_.Add("switch");
        if (!script_.switch_result)
            worker_.ShowError(GetText(text::kSwitchToDownloadFail));
        return script_.switch_result;
    }
    void RediscoverDiagnosticPort() override {
        std::string name;
        if (!script_.rediscovered.empty()) {
            name = script_.rediscovered.front();
            script_.rediscovered.pop_front();
        }
        journal_.Add("rediscover " + name);
        worker_.set_port_name(name);
    }
    std::string usb_place() const override { return script_.usb_place; }
    void ResetDiskModePhone() override { journal_.Add("reset disk-mode phone"); }
    platform::SerialPort* port() override {
        // An opaque token standing for the open port; nothing dereferences it.
        return open_ ? reinterpret_cast<platform::SerialPort*>(&token_) : nullptr;
    }

  private:
    Journal& journal_;
    FakeLinkScript& script_;
    CDownloadThread& worker_;
    bool open_ = false;
    char token_ = 0;
};

class FakeLibrary final : public FlashLibrary {
  public:
    explicit FakeLibrary(FakeFlashLibraries& owner, FakeFlashLibraries::DownloadAction action)
        : owner_(owner), action_(std::move(action)) {}
    int Download(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                 const char* app_images, const char* boot_images, const char* version_folder,
                 FendrelReportFunction report, void* context) override {
        owner_.had_port = port != nullptr;
        owner_.stop_event = stop_event;
        owner_.erase_efs = erase_efs;
        owner_.app_images = app_images;
        owner_.boot_images = boot_images;
        owner_.version_folder = version_folder;
        return action_(report, context);
    }

  private:
    FakeFlashLibraries& owner_;
    FakeFlashLibraries::DownloadAction action_;
};

}  // namespace

void Journal::Post(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam) {
    std::string line = NameOf(message) + " " + std::to_string(wparam);
    const WorkerMessageIds& ids = WorkerMessages();
    if (message == ids.progress)
        line += " " + std::to_string(lparam);
    else if (lparam != 0)
        line += " lparam " + std::to_string(lparam);
    if ((message == ids.status || message == ids.error) && worker != nullptr &&
        !worker->status_text().empty())
        line += " " + worker->status_text();
    lines_.push_back(std::move(line));
}

std::vector<std::string> Journal::Steps() const {
    std::vector<std::string> steps;
    for (const std::string& line : lines_) {
        if (line.rfind("PROGRESS ", 0) != 0)
            steps.push_back(line);
    }
    return steps;
}

int Journal::Count(const std::string& line) const {
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

DL_RET_E_TYPE FakeDownloadChannel::DLGetBBinfo(BBINFO_S_TYPE& info) {
    journal_.Add("get bbinfo");
    info.boot_block = boot_block;
    return bbinfo_result;
}

DL_RET_E_TYPE FakeDownloadChannel::DLVerifyVersion(unsigned short version) {
    journal_.Add("verify version " + std::to_string(version));
    return verify_result;
}

std::unique_ptr<CDLCmd> FakeChannels::CreateDownloadChannel(platform::ManualResetEvent& stop) {
    journal_.Add("create download channel");
    stop_events.push_back(&stop);
    auto channel = std::make_unique<FakeDownloadChannel>(journal_);
    download = channel.get();
    return channel;
}

std::unique_ptr<CDMCmd> FakeChannels::CreateDiagnosticChannel(platform::ManualResetEvent& stop) {
    journal_.Add("create diagnostic channel");
    stop_events.push_back(&stop);
    return std::make_unique<FakeDiagnosticChannel>();
}

std::unique_ptr<SerialLink> FakeSerialLinks::Create(CDownloadThread& worker) {
    journal_.Add("create serial link");
    return std::make_unique<FakeLink>(journal_, script, worker);
}

bool FakeStep::Run(CDownloadThread& worker) {
    journal.Add(name);
    return action ? action(worker) : true;
}

std::unique_ptr<FlashLibrary> FakeFlashLibraries::Load(std::string_view file_name,
                                                       std::string& error) {
    journal_.Add("load " + std::string(file_name) + (download ? "" : " failed"));
    if (!download) {
        error = "no stand-in for " + std::string(file_name);
        return nullptr;
    }
    return std::make_unique<FakeLibrary>(*this, download);
}

WorkerRig::WorkerRig(std::string port_name, int port_kind, bool with_notifier,
                     FlashLibraryLoader* flash_libraries) {
    const WorkerServices services{clock,        channels,
                                  links,        nv_backup,
                                  mass_storage, flash_libraries ? *flash_libraries : flash};
    worker = std::make_unique<CDownloadThread>(std::move(port_name), "USB", port_kind,
                                               with_notifier ? &journal : nullptr, services);
    journal.worker = worker.get();
    params.baud_rate = 115200;
}

void WorkerRig::RunHere() {
    ASSERT_TRUE(worker->SetParams(params));
    static_cast<CThreadBase&>(*worker).Run();
}

}  // namespace fendrel::testing
