// The worker's two command channels: CDMCmd speaks the diagnostic (DIAG) protocol to a phone
// running its firmware, CDLCmd the DMSS download protocol to a phone in download mode.
//
// Each is created with a reference to its worker's stop event and bound to the worker's open port
// by Attach. Every command blocks the calling (worker) thread until the reply arrives, its
// time-out passes, the port goes away or the stop event is signalled; none waits longer than its
// named time-out. Only the worker's thread calls a channel.
#pragma once

#include "qcom/records.h"
#include "qcom/results.h"

namespace platform {
class ManualResetEvent;
class SerialPort;
}  // namespace platform

namespace fendrel {

class CDMCmd {
  public:
    virtual ~CDMCmd() = default;
    // Binds the channel to an open port (not owned; it must stay open until Detach).
    virtual void Attach(platform::SerialPort& port) = 0;
    virtual void Detach() = 0;

    virtual DMSS_RET_E_TYPE ReadStatus(STATUS_S_TYPE& status) = 0;
    // Reads the item whose number the caller put in `record.item`; the phone's NV status comes
    // back in `record.status`.
    virtual DMSS_RET_E_TYPE ReadNV(NV_S_TYPE& record) = 0;
    virtual DMSS_RET_E_TYPE ChangeMode(MODE_CHANGE_E_TYPE mode) = 0;
    virtual DMSS_RET_E_TYPE SwitchToDownloader() = 0;
    virtual DMSS_RET_E_TYPE ResetPhone() = 0;
    // Reset of a phone enumerated in disk mode (USB product 9006).
    virtual DMSS_RET_E_TYPE ResetPhone9006() = 0;
};

class CDLCmd {
  public:
    virtual ~CDLCmd() = default;
    virtual void Attach(platform::SerialPort& port) = 0;
    virtual void Detach() = 0;

    virtual DL_RET_E_TYPE DLGetBBinfo(BBINFO_S_TYPE& info) = 0;
    virtual DL_RET_E_TYPE DLVerifyVersion(unsigned short version) = 0;
};

}  // namespace fendrel
