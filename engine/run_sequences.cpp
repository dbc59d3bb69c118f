// The run of a worker: one sequence of steps per port kind, each ending in a verdict (SUCCESS or
// ERROR), END, and the port closed with the phone reset on every path that opened it.
#include "app/text_lookup.h"
#include "engine/download_thread.h"
#include "engine/image_folder.h"
#include "engine/worker_messages.h"

namespace fendrel {
namespace {

// A normal-mode phone's port may still be settling when the run begins.
constexpr int kOpenAttempts = 15;
constexpr platform::Milliseconds kOpenRetryPause{95};

// After a download-mode run the phone restarts into normal mode and shows up as a new port.
constexpr int kRediscoveryAttempts = 101;
constexpr platform::Milliseconds kRediscoveryPause{100};

}  // namespace

void CDownloadThread::Run() {
    try {
        Post(WorkerMessages().start);
        switch (port_kind_) {
            case PORT_KIND_DIAG:
                RunNormalModePort();
                break;
            case PORT_KIND_STORAGE:
                RunDiskModePort();
                break;
            case PORT_KIND_DLOAD:
                RunDownloadModePort();
                break;
            default:
                // Port discovery knows no other kind; a page must not be left without an END.
                ShowError(GetText(text::kDownloadFail));
                Post(WorkerMessages().end);
                break;
        }
    } catch (...) {
        // A step that throws (out of memory) still ends the run as a failure the page sees.
        ShowError(GetText(text::kDownloadFail));
        Post(WorkerMessages().end);
    }
}

void CDownloadThread::RunNormalModePort() {
    const WorkerMessageIds& messages = WorkerMessages();
    bool ok = OpenPortWithRetries();
    bool switched = false;
    if (ok) {
        ok = Continue(Detect());
        ok = ok && Continue(RunImageChecks());
        ok = ok && Continue(nv_backup_.Run(*this));
        switched = ok && link_->SwitchToDownloadMode();
        ok = Continue(switched) && mass_storage_.Run(*this);
    }
    Post(ok ? messages.success : messages.error);
    Post(messages.end);
    CloseWithResetPhone();
    // The phone left its port with the switch; one that came back as a disk is sent back to its
    // normal mode.
    if (switched)
        link_->ResetDiskModePhone();
}

void CDownloadThread::RunDiskModePort() {
    const WorkerMessageIds& messages = WorkerMessages();
    // The disk-mode phone is written as a disk; its port only matters for the reset at the end.
    link_->OpenPort(params_.baud_rate, SerialLink::OpenReport::kWithMessage);
    ComputeTotalWeight();
    params_.version_folder =
        ResolveVersionFolder(params_.flash_type, params_.image_folder, params_.version_folder);
    const bool ok = !stop_requested() && mass_storage_.Run(*this);
    Post(ok ? messages.success : messages.error);
    CloseWithResetPhone9006();
    Post(messages.end);
}

void CDownloadThread::RunDownloadModePort() {
    const WorkerMessageIds& messages = WorkerMessages();
    const bool firehose = FirehoseProgrammerPresent(params_.image_folder);
    if (!link_->OpenPort(params_.baud_rate, SerialLink::OpenReport::kWithMessage)) {
        Post(messages.error);
        Post(messages.end);
        CloseWithResetPhone();
        Reset9006();
        return;
    }
    bool ok = Continue(Detect());
    ok = ok && Continue(RunImageChecks());
    ok = ok && Continue(nv_backup_.Run(*this));
    ok = ok && RunFlashDownload();
    if (ok && firehose) {
        // A firehose programmer has written everything; the phone restarts by itself.
        Post(messages.success);
        Post(messages.end);
        CloseWithResetPhone();
        Reset9006();
        return;
    }
    // A set the plugin wrote whole (NAND, NOR) leaves no disk to write: its verdict is the
    // plugin's. Only a set with a raw-disk layout goes on into the route, which waits for the disk
    // the programmer shows.
    if (ok && !RawProgramSetFolder(params_.version_folder).empty())
        ok = !stop_requested() && mass_storage_.Run(*this);
    Post(ok ? messages.success : messages.error);
    Post(messages.end);
    if (!firehose)
        RediscoverDiagnosticPort();
    // The page hears of the run's end again, now under the phone's new port number.
    Post(messages.end);
    CloseWithResetPhone();
    Reset9006();
}

bool CDownloadThread::OpenPortWithRetries() {
    for (int attempt = 0; attempt < kOpenAttempts && !stop_requested(); ++attempt) {
        if (link_->OpenPort(params_.baud_rate, SerialLink::OpenReport::kWithMessage))
            return true;
        clock_.Sleep(kOpenRetryPause);
    }
    return false;
}

bool CDownloadThread::Detect() {
    ShowStatus(GetText(text::kDetectingPhone));
    params_.version_folder =
        ResolveVersionFolder(params_.flash_type, params_.image_folder, params_.version_folder);
    detected_ = true;
    ComputeTotalWeight();
    return true;
}

void CDownloadThread::ComputeTotalWeight() {
    progress_.ComputeTotalWeight(params_, detected_);
}

void CDownloadThread::RediscoverDiagnosticPort() {
    // A stopped worker does not wait for the phone to come back.
    for (int attempt = 0; attempt < kRediscoveryAttempts && !stop_requested(); ++attempt) {
        if (attempt > 0)
            clock_.Sleep(kRediscoveryPause);
        link_->RediscoverDiagnosticPort();
        if (!port_name().empty()) {
            if (link_->OpenPort(params_.baud_rate, SerialLink::OpenReport::kWithoutMessage))
                Reset9006();
            return;
        }
    }
}

}  // namespace fendrel
