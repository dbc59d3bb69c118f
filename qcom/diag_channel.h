// The diagnostic channel: CDMCmd over DIAG, for a phone running its firmware.
//
// Results (qcom/results.h): DMSS_SUCCESS when the phone answered the request;
// DMSS_REJECTED when it answered with an error packet (a command it does not know, a mode it is
// not in, NV access it refuses) or with a download-protocol NAK (a phone in download mode);
// DMSS_BAD_REPLY when its answer is too short for its record; DMSS_TIMEOUT when it did not answer
// within kReplyTimeout; DMSS_STOPPED, DMSS_PORT_GONE, DMSS_IO_FAILED, DMSS_NOT_ATTACHED as the
// port said. SwitchToDownloader alone answers DMSS_SWITCHED_WITHOUT_REPLY (see there).
//
// Threads: the worker's only; the stop event may be set from any thread and ends a wait at once.
#pragma once

#include "qcom/channels.h"
#include "qcom/packet_port.h"

namespace fendrel::qcom {

class DiagChannel final : public CDMCmd {
  public:
    // Phones answer in milliseconds; one busy writing its file system takes up to a second.
    static constexpr platform::Milliseconds kReplyTimeout{1500};

    // `stop` and `clock` must outlive the channel.
    DiagChannel(const platform::ManualResetEvent& stop, platform::Clock& clock)
        : port_(stop, clock) {}

    void Attach(platform::SerialPort& port) override;
    void Detach() override;

    // The 48-byte status record (ESN at 4, mode word at 32) as the phone sent it.
    DMSS_RET_E_TYPE ReadStatus(STATUS_S_TYPE& status) override;
    // Sends the record as given (item number, and the data, which holds the index of an indexed
    // item) and fills it with the phone's answer; the phone's NV status comes back in
    // `record.status` and a non-zero one is still DMSS_SUCCESS. An answer for another item is
    // passed over as a late one.
    DMSS_RET_E_TYPE ReadNV(NV_S_TYPE& record) override;
    DMSS_RET_E_TYPE ChangeMode(MODE_CHANGE_E_TYPE mode) override;
    // DMSS_SUCCESS when the phone confirmed the switch. DMSS_SWITCHED_WITHOUT_REPLY when its port
    // went away after the request had gone out, before the answer: the phone left for download
    // mode. A retry that finds the port gone after an earlier switch request on the same
    // attachment answers the same, for the same reason.
    DMSS_RET_E_TYPE SwitchToDownloader() override;
    // A running phone takes a reset only from offline: offline first, then the reset. The
    // result is the reset's; a port that went away after the reset request had gone out is a
    // phone that restarted before its answer got through, DMSS_SUCCESS.
    DMSS_RET_E_TYPE ResetPhone() override;
    // A phone in disk mode has no radio to take offline: the reset alone, with the same result.
    DMSS_RET_E_TYPE ResetPhone9006() override;

    std::size_t dropped_frames() const { return port_.dropped_frames(); }

  private:
    PacketPort::Exchange Command(std::span<const std::uint8_t> request,
                                 const PacketPort::Classifier& is_reply);
    PacketPort::Exchange ModeChange(MODE_CHANGE_E_TYPE mode);

    PacketPort port_;
    bool switch_requested_ = false;  // a switch request went out on this attachment
};

}  // namespace fendrel::qcom
