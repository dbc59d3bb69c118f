// A technician's operation on one phone port: the station's channels and serial link
// (engine/station_services.h) run on the command's own thread, on the real clock. The progress
// texts go to standard output, failures to standard error, as the station's own texts. Ctrl-C
// stops the operation the way Stop stops a worker: the wait for the phone ends at once and no
// further attempt is begun.
#pragma once

#include <memory>
#include <string>

#include "cli/interrupt.h"
#include "engine/station_services.h"
#include "platform/event.h"
#include "qcom/diag_channel.h"
#include "qcom/download_channel.h"

namespace fendrel::cli {

class ConsoleLink final : public LinkHost {
  public:
    // A link to `port_name` (a COM name, or a device path), over the devices of `services`.
    ConsoleLink(std::string port_name, StationServices& services);
    ~ConsoleLink() override;
    ConsoleLink(const ConsoleLink&) = delete;
    ConsoleLink& operator=(const ConsoleLink&) = delete;

    PortLink& link() { return *link_; }
    qcom::DiagChannel& diag() { return diag_; }
    qcom::DownloadChannel& download() { return download_; }

    CDMCmd& diagnostic_channel() override { return diag_; }
    CDLCmd& download_channel() override { return download_; }
    platform::Clock& clock() override { return services_.clock(); }
    bool stop_requested() const override { return stop_.IsSet(); }
    std::string flash_type() const override { return {}; }
    std::string port_name() const override { return port_name_; }
    void set_port_name(std::string name) override { port_name_ = std::move(name); }
    void SetStatus(std::string text) override { status_ = std::move(text); }
    void ShowStatus(std::string text) override;
    void ShowError(std::string text) override;
    const std::string& status() const { return status_; }

  private:
    StationServices& services_;
    std::string port_name_;
    std::string status_;
    platform::ManualResetEvent stop_;
    qcom::DiagChannel diag_;
    qcom::DownloadChannel download_;
    std::unique_ptr<PortLink> link_;  // it detaches the channels as it goes
    InterruptGuard interrupt_;
};

// Human words for a channel result, for example "no answer within the time-out".
const char* ResultWords(DMSS_RET_E_TYPE result);

}  // namespace fendrel::cli
