// The port worker: one object and one thread per phone port, running the whole upgrade of that
// phone from first contact to the verdict.
//
// The worker never touches a window. It tells its page what happens by posting the registered
// messages of engine/worker_messages.h to its notifier (none when the notifier is null; the run
// performs every step all the same) and keeps the reason in its status text, which the page
// reads when STATUS or ERROR arrives.
//
// Threads: the page's thread constructs the worker, calls SetParams, Start, SetPriority and Stop,
// reads status_text() and port_name(), and destroys it. Everything under "Step interface" is for
// the steps of a run and is called on the worker's thread only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/download_param.h"
#include "engine/image_checks.h"
#include "engine/progress_model.h"
#include "engine/thread_base.h"
#include "engine/worker_services.h"
#include "platform/event.h"
#include "platform/messages.h"
#include "ports/port_record.h"

namespace fendrel {

class NvItemStore;

class CDownloadThread : public CThreadBase {
  public:
    // The image kinds of a multi-image phone's flash library reports, one byte counter each.
    static constexpr std::size_t kByteCounters = 5;

    // Creates the stop event (not signalled), then the download channel and the diagnostic
    // channel, both watching it, and the serial link. `port_type` is kept in the settings'
    // port type slot. `notifier` (not owned, may be null) must outlive the worker.
    CDownloadThread(std::string port_name, std::string port_type, int port_kind,
                    platform::Notifier* notifier, const WorkerServices& services);
    // Stops a run that is still going and waits for its thread to end, so nothing the thread
    // uses is destroyed under it. Blocks as long as the running step takes to notice the stop.
    ~CDownloadThread() override;

    // Takes the page's settings for the next run: every slot but the port type; sets the running
    // flag, resets the stop event, clears the status text, failure detail, model name, boot-file
    // hint and progress, and forgets the NV item store. The image lists stay as they are. False,
    // changing nothing, while a run is going.
    bool SetParams(const DOWNLOAD_PARAM& params);
    // Asks a run to end: clears the running flag and signals the stop event. Steps that wait on
    // the phone end early, no further step is begun, and the run ends through its failure path
    // with ERROR and END. Returns at once; any thread.
    void Stop();

    // Copies for the page; any thread.
    std::string status_text() const;
    std::string port_name() const;
    // What the status text does not tell about a failure, for a technician's log: for now which
    // flash-download plugin could not be loaded, from where and why (the status text then stays
    // as the step before left it). Empty when there is nothing to add. Read it, like the status
    // text, when ERROR arrives.
    std::string failure_detail() const;

    // Further images for the flash library: entry 0 stands for the settings' app (boot) path,
    // every later entry is passed on after it. The page fills them while no run is going.
    std::vector<std::string>& app_image_list() { return app_images_; }
    std::vector<std::string>& boot_image_list() { return boot_images_; }

    // ---- Step interface (worker thread) ----

    const DOWNLOAD_PARAM& params() const { return params_; }
    int port_kind() const { return port_kind_; }
    void set_port_name(std::string name);
    // True until SetParams starts a run, and again once Stop asks it to end (the running flag is
    // clear). Not the same as IsRunning, which tells whether the thread is alive.
    bool stop_requested() const { return !running_.load(); }
    // Where the phone is plugged, as the serial link last saw it ("1-3"); empty when unknown.
    std::string usb_place() const;
    platform::ManualResetEvent& stop_event() { return stop_event_; }
    CDMCmd& diagnostic_channel() { return *diagnostic_; }
    CDLCmd& download_channel() { return *download_; }
    platform::Clock& clock() { return clock_; }
    bool detected() const { return detected_; }
    const std::string& esn() const { return esn_; }
    const std::string& model_name() const { return model_name_; }
    const std::string& boot_file_hint() const { return boot_file_hint_; }
    // The NV backup step's store and file, kept for the rest of the run.
    void set_nv_store(std::shared_ptr<NvItemStore> store) { nv_store_ = std::move(store); }
    const std::shared_ptr<NvItemStore>& nv_store() const { return nv_store_; }
    void set_nv_backup_path(std::string path) { nv_backup_path_ = std::move(path); }
    const std::string& nv_backup_path() const { return nv_backup_path_; }

    // Posts `message` with wParam = the port number of the current port name.
    void Post(platform::MessageId message, std::intptr_t lparam = 0);
    void SetStatus(std::string text);
    void SetFailureDetail(std::string text);
    // Sets the status text, then posts STATUS (ShowStatus) or ERROR (ShowError).
    void ShowStatus(std::string text);
    void ShowError(std::string text);

    // Adds a step's share to the progress; Tick then adds the tick step and posts PROGRESS.
    void AddProgress(float amount) { progress_.Add(amount); }
    void Tick();
    const ProgressModel& progress() const { return progress_; }

    // What the flash library's reports act on (engine/flash_reports.h).
    bool efs_erased() const { return efs_erased_; }
    void set_efs_erased() { efs_erased_ = true; }
    // Counter `index` (0 to kByteCounters - 1) grows by `amount` (32-bit, wrapping).
    std::uint32_t AddToByteCounter(std::size_t index, std::uint32_t amount);
    const std::array<std::uint32_t, kByteCounters>& byte_counters() const { return counters_; }

    // The marker search results of the last image checks (MarkerResult each).
    int app_marker() const { return app_marker_; }
    int boot_marker() const { return boot_marker_; }

  protected:
    void Run() override;

  private:
    // The run sequences, one per port kind.
    void RunNormalModePort();
    void RunDiskModePort();
    void RunDownloadModePort();
    // A step is begun only while no Stop was asked for.
    bool Continue(bool step_succeeded) const { return step_succeeded && !stop_requested(); }

    // Steps of the run sequences.
    bool OpenPortWithRetries();
    bool Detect();
    void ComputeTotalWeight();
    bool RunImageChecks();
    bool CheckBootVersion();
    bool CheckAppChecksum();
    std::uint32_t AppTrailerWord();
    std::uint32_t BootTrailerWord();
    bool RunFlashDownload();
    void RediscoverDiagnosticPort();
    // The closing operations of the serial link; each zeroes the byte counters.
    void CloseWithResetPhone();
    void CloseWithResetPhone9006();
    void Reset9006();

    static void OnFlashReport(int code, int b, int c, int d, void* context);

    // The stop event comes first: the channels keep a reference to it, so it must be made before
    // them and go after them.
    platform::ManualResetEvent stop_event_;

    std::vector<std::string> app_images_;
    std::vector<std::string> boot_images_;
    // Guards what the page reads: port name, status text, failure detail.
    mutable std::mutex shared_mutex_;
    std::string port_name_;
    const int port_kind_;
    platform::Notifier* const notifier_;
    std::atomic<bool> running_{false};
    std::unique_ptr<CDMCmd> diagnostic_;
    std::unique_ptr<CDLCmd> download_;
    DOWNLOAD_PARAM params_;
    std::string status_text_;
    std::string failure_detail_;
    std::string esn_;  // no step fills it; part of the NV backup file name
    std::string model_name_;
    std::string boot_file_hint_;
    bool detected_ = false;
    int app_marker_ = kMarkerNotExamined;
    int boot_marker_ = kMarkerNotExamined;
    ProgressModel progress_;
    bool efs_erased_ = false;  // set by the EFS erase report; kept for later runs of the worker
    std::shared_ptr<NvItemStore> nv_store_;
    std::string nv_backup_path_;
    std::array<std::uint32_t, kByteCounters> counters_{};

    platform::Clock& clock_;
    NvBackupStep& nv_backup_;
    MassStorageRoute& mass_storage_;
    FlashLibraryLoader& flash_libraries_;
    // Last: the link may look at the worker's other members while it goes.
    std::unique_ptr<SerialLink> link_;
};

}  // namespace fendrel
