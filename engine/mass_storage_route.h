// The mass-storage route: a phone whose flash shows as a raw disk is written by the outside
// raw-programming script, run against the phone's physical drive.
#pragma once

namespace fendrel {

class CDownloadThread;

class MassStorageRoute {
  public:
    virtual ~MassStorageRoute() = default;
    // Runs the route for `worker` on the worker's thread: it uses the version folder of the
    // settings, sets the status text with a STATUS post, and ticks the worker's progress every
    // 500 ms of the worker's clock while the script runs. It blocks for as long as the script
    // runs (bounded by the route's own time-out) and may show modal prompts. True when the script
    // ran to a plausible end. One object serves every worker.
    virtual bool Run(CDownloadThread& worker) = 0;
};

}  // namespace fendrel
