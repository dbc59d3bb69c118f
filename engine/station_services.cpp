#include "engine/station_services.h"

#include "engine/download_thread.h"
#include "engine/flash_library.h"
#include "qcom/diag_channel.h"
#include "qcom/download_channel.h"

namespace fendrel {
namespace {

// The worker as the host of its link: its channels, clock, running flag, settings, port name
// and status text.
class WorkerLinkHost final : public LinkHost {
  public:
    explicit WorkerLinkHost(CDownloadThread& worker) : worker_(worker) {}

    CDMCmd& diagnostic_channel() override { return worker_.diagnostic_channel(); }
    CDLCmd& download_channel() override { return worker_.download_channel(); }
    platform::Clock& clock() override { return worker_.clock(); }
    bool stop_requested() const override { return worker_.stop_requested(); }
    std::string flash_type() const override { return worker_.params().flash_type; }
    std::string port_name() const override { return worker_.port_name(); }
    void set_port_name(std::string name) override { worker_.set_port_name(std::move(name)); }
    void SetStatus(std::string text) override { worker_.SetStatus(std::move(text)); }
    void ShowStatus(std::string text) override { worker_.ShowStatus(std::move(text)); }
    void ShowError(std::string text) override { worker_.ShowError(std::move(text)); }

  private:
    CDownloadThread& worker_;
};

}  // namespace

std::unique_ptr<CDLCmd> SerialChannels::CreateDownloadChannel(
    platform::ManualResetEvent& stop_event) {
    return std::make_unique<qcom::DownloadChannel>(stop_event, clock_);
}

std::unique_ptr<CDMCmd> SerialChannels::CreateDiagnosticChannel(
    platform::ManualResetEvent& stop_event) {
    return std::make_unique<qcom::DiagChannel>(stop_event, clock_);
}

std::unique_ptr<SerialLink> PortLinks::Create(CDownloadThread& worker) {
    // The link only keeps the worker here; it calls it once a run uses the link.
    return std::make_unique<PortLink>(std::make_unique<WorkerLinkHost>(worker), devices_);
}

StationServices::StationServices()
    : StationServices(platform::SystemClock(), platform::DeviceEnumerator::FromEnvironment()) {}

StationServices::StationServices(platform::Clock& clock, platform::DeviceEnumerator devices)
    : clock_(clock), devices_(devices), channels_(clock), links_(std::move(devices)) {}

WorkerServices StationServices::ForWorkers(NvBackupStep& nv_backup,
                                           MassStorageRoute& mass_storage) {
    return WorkerServices{clock_,    channels_,    links_,
                          nv_backup, mass_storage, PluginFlashLibraries()};
}

std::unique_ptr<PortLink> StationServices::CreateLink(LinkHost& host) const {
    return std::make_unique<PortLink>(host, devices_);
}

}  // namespace fendrel
