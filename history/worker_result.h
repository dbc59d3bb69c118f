// The history row of a worker's finished run, for whatever showed the run (a download page's
// row, a port of fendrel-cli flash): it knows the verdict and when the run began and ended; the
// worker knows the rest.
#pragma once

#include <string>

#include "history/result_history.h"
#include "history/utc_time.h"

namespace fendrel {
class CDownloadThread;
}

namespace fendrel::history {

// What every row of one start has in common.
struct RunFacts {
    std::string station;           // platform::HostName()
    std::string image_set_digest;  // ImageSetDigest of the run's images, or empty
};

// Call on the worker's own thread when it posts END (in the notifier's Post: it is then done with
// the run but goes on closing the port), or once its thread has ended; record the row as soon as
// END is handled, so that a station killed later keeps it. `port` is the port the row listed: a
// worker that found its phone again under another port name keeps the row's.
ResultRecord ResultOfWorker(const CDownloadThread& worker, const std::string& port, bool passed,
                            Moment started, Moment ended, const RunFacts& facts);

}  // namespace fendrel::history
