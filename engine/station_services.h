// The product's wiring of the real services a worker is given: the channels that speak DIAG and
// DMSS download over the serial port, the serial link over the device tree, the flash-download
// plugins, and the clock. The window and fendrel-cli build workers (and a technician's single
// operations) through this one place, tests the same with a virtual clock and a simulated tree.
#pragma once

#include <memory>

#include "engine/channel_factory.h"
#include "engine/link_host.h"
#include "engine/port_link.h"
#include "engine/serial_link.h"
#include "engine/worker_services.h"
#include "platform/device_enumerator.h"

namespace fendrel {

// qcom::DownloadChannel and qcom::DiagChannel, waiting on `clock`.
class SerialChannels final : public ChannelFactory {
  public:
    explicit SerialChannels(platform::Clock& clock) : clock_(clock) {}
    std::unique_ptr<CDLCmd> CreateDownloadChannel(platform::ManualResetEvent& stop_event) override;
    std::unique_ptr<CDMCmd> CreateDiagnosticChannel(
        platform::ManualResetEvent& stop_event) override;

  private:
    platform::Clock& clock_;
};

// A PortLink for each worker, over its ports as `devices` lists them.
class PortLinks final : public SerialLinkFactory {
  public:
    explicit PortLinks(platform::DeviceEnumerator devices) : devices_(std::move(devices)) {}
    std::unique_ptr<SerialLink> Create(CDownloadThread& worker) override;

  private:
    const platform::DeviceEnumerator devices_;
};

class StationServices {
  public:
    // The real clock and the device tree of the environment.
    StationServices();
    // `clock` must outlive the object.
    StationServices(platform::Clock& clock, platform::DeviceEnumerator devices);

    platform::Clock& clock() { return clock_; }
    ChannelFactory& channels() { return channels_; }
    SerialLinkFactory& serial_links() { return links_; }
    const platform::DeviceEnumerator& devices() const { return devices_; }

    // The bundle for workers. The NV backup step and the mass-storage route are the caller's
    // until the product has its own.
    WorkerServices ForWorkers(NvBackupStep& nv_backup, MassStorageRoute& mass_storage);
    // A link for a console command, over the same devices as the workers' links.
    std::unique_ptr<PortLink> CreateLink(LinkHost& host) const;

  private:
    platform::Clock& clock_;
    const platform::DeviceEnumerator devices_;
    SerialChannels channels_;
    PortLinks links_;
};

}  // namespace fendrel
