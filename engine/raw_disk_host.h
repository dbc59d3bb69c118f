// What the raw-disk route uses of whoever runs it: a port worker, or a test's double. One host per
// run; its methods are called on the runner's thread only.
#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/event.h"

namespace fendrel {

class RawDiskHost {
  public:
    virtual ~RawDiskHost() = default;

    // The run's version folder. The route runs the upgrade script in the folder of the set's
    // rawprogram0.xml and patch0.xml, found from it as engine/image_folder.h RawProgramSetFolder
    // says: the version folder, or the image folder above a VERSION folder.
    virtual std::string version_folder() const = 0;
    // The runner's port: the upgrade script is named after it, so two runners never share one.
    virtual std::string port_name() const = 0;
    // Where the runner's phone is plugged ("1-3"); empty when the runner does not know.
    virtual std::string usb_place() const = 0;
    // Every pause and every half-second of the wait for the script.
    virtual platform::Clock& clock() = 0;
    // Set once the runner is asked to stop: the script is ended and the route fails.
    virtual const platform::ManualResetEvent& stop_event() const = 0;
    virtual bool stop_requested() const = 0;
    // The status text alone, and with a STATUS report.
    virtual void SetStatus(std::string text) = 0;
    virtual void ShowStatus(std::string text) = 0;
    // One step of progress, with a PROGRESS report.
    virtual void Tick() = 0;
};

}  // namespace fendrel
