// Makes a worker's two command channels. The product passes the factory of the real channels
// (DIAG and DMSS download over the serial port); tests pass doubles.
#pragma once

#include <memory>

#include "qcom/channels.h"

namespace platform {
class ManualResetEvent;
}

namespace fendrel {

class ChannelFactory {
  public:
    virtual ~ChannelFactory() = default;
    // Each returns a new, unattached channel that watches `stop_event` (which outlives it) in
    // every wait. Never null. Called on the thread that constructs the worker.
    virtual std::unique_ptr<CDLCmd> CreateDownloadChannel(
        platform::ManualResetEvent& stop_event) = 0;
    virtual std::unique_ptr<CDMCmd> CreateDiagnosticChannel(
        platform::ManualResetEvent& stop_event) = 0;
};

}  // namespace fendrel
