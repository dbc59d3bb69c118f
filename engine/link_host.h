// What the serial link's operations use of whoever runs them: a port worker, or a technician's
// console command. One host per link; its methods are called on the runner's thread only.
#pragma once

#include <string>

#include "platform/clock.h"
#include "qcom/channels.h"

namespace fendrel {

class LinkHost {
  public:
    virtual ~LinkHost() = default;

    // The two channels the link binds to its port; both watch the runner's stop event.
    virtual CDMCmd& diagnostic_channel() = 0;
    virtual CDLCmd& download_channel() = 0;
    // Every pause of the link's operations.
    virtual platform::Clock& clock() = 0;
    // True once the runner was asked to stop: no further attempt is begun.
    virtual bool stop_requested() const = 0;
    // "MULTI" makes the offline step succeed whatever the phone reports.
    virtual std::string flash_type() const = 0;
    // The port the link opens; the re-discovery replaces it.
    virtual std::string port_name() const = 0;
    virtual void set_port_name(std::string name) = 0;
    // The status text alone, with a STATUS report, with an ERROR report.
    virtual void SetStatus(std::string text) = 0;
    virtual void ShowStatus(std::string text) = 0;
    virtual void ShowError(std::string text) = 0;
};

}  // namespace fendrel
