#include "engine/download_thread.h"

#include "engine/image_folder.h"
#include "engine/worker_messages.h"

namespace fendrel {

CDownloadThread::CDownloadThread(std::string port_name, std::string port_type, int port_kind,
                                 platform::Notifier* notifier, const WorkerServices& services)
    : port_name_(std::move(port_name)),
      port_kind_(port_kind),
      notifier_(notifier),
      clock_(services.clock),
      nv_backup_(services.nv_backup),
      mass_storage_(services.mass_storage),
      flash_libraries_(services.flash_libraries) {
    stop_event_.Reset();
    download_ = services.channels.CreateDownloadChannel(stop_event_);
    diagnostic_ = services.channels.CreateDiagnosticChannel(stop_event_);
    params_.port_type = std::move(port_type);
    link_ = services.serial_links.Create(*this);
}

CDownloadThread::~CDownloadThread() {
    Stop();
    Join();
}

bool CDownloadThread::SetParams(const DOWNLOAD_PARAM& params) {
    if (IsRunning())
        return false;
    std::string port_type = std::move(params_.port_type);
    params_ = params;
    params_.port_type = std::move(port_type);
    running_ = true;
    stop_event_.Reset();
    SetStatus({});
    SetFailureDetail({});
    model_name_.clear();
    boot_file_hint_.clear();
    progress_.Clear();
    nv_store_.reset();
    return true;
}

void CDownloadThread::Stop() {
    running_ = false;
    stop_event_.Set();
}

std::string CDownloadThread::status_text() const {
    std::lock_guard lock(shared_mutex_);
    return status_text_;
}

std::string CDownloadThread::failure_detail() const {
    std::lock_guard lock(shared_mutex_);
    return failure_detail_;
}

std::string CDownloadThread::port_name() const {
    std::lock_guard lock(shared_mutex_);
    return port_name_;
}

void CDownloadThread::set_port_name(std::string name) {
    std::lock_guard lock(shared_mutex_);
    port_name_ = std::move(name);
}

std::string CDownloadThread::usb_place() const {
    return link_->usb_place();
}

void CDownloadThread::Post(platform::MessageId message, std::intptr_t lparam) {
    if (notifier_ != nullptr)
        notifier_->Post(message, PortNumberOf(port_name()), lparam);
}

void CDownloadThread::SetStatus(std::string text) {
    std::lock_guard lock(shared_mutex_);
    status_text_ = std::move(text);
}

void CDownloadThread::SetFailureDetail(std::string text) {
    std::lock_guard lock(shared_mutex_);
    failure_detail_ = std::move(text);
}

void CDownloadThread::ShowStatus(std::string text) {
    SetStatus(std::move(text));
    Post(WorkerMessages().status);
}

void CDownloadThread::ShowError(std::string text) {
    SetStatus(std::move(text));
    Post(WorkerMessages().error);
}

void CDownloadThread::Tick() {
    const std::string& folder = params_.image_folder;
    // Only a download-mode port's step depends on the programmer, looked for anew every tick.
    const bool firehose = port_kind_ == PORT_KIND_DLOAD && FirehoseProgrammerPresent(folder);
    progress_.Add(TickStep(folder, port_kind_, firehose));
    Post(WorkerMessages().progress, progress_.Percentage());
}

std::uint32_t CDownloadThread::AddToByteCounter(std::size_t index, std::uint32_t amount) {
    return counters_.at(index) += amount;
}

void CDownloadThread::CloseWithResetPhone() {
    link_->CloseWithResetPhone();
    counters_.fill(0);
}

void CDownloadThread::CloseWithResetPhone9006() {
    link_->CloseWithResetPhone9006();
    counters_.fill(0);
}

void CDownloadThread::Reset9006() {
    link_->Reset9006();
    counters_.fill(0);
}

}  // namespace fendrel
