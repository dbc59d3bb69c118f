// The NV backup step of a run: saves the phone's ESN and the NV items of the structure file into
// a dated backup file before anything is written to the phone.
#pragma once

namespace fendrel {

class CDownloadThread;

class NvBackupStep {
  public:
    virtual ~NvBackupStep() = default;
    // Runs the step for `worker` on the worker's thread. It reads from the worker its detected
    // flag, the ESN and RF options of its settings, its running flag (Stop ends the item loop),
    // its port name, ESN text and model name, and its diagnostic channel; it writes the status
    // text with STATUS and ERROR posts, posts WAIT and CONTINUE, keeps the NV item store and the
    // backup path in the worker, and adds each item's share of progress with a tick. Returns
    // false after leaving the reason in the status text. One object serves every worker, so
    // several threads may be inside it at once; it keeps no state of its own between calls.
    virtual bool Run(CDownloadThread& worker) = 0;
};

}  // namespace fendrel
