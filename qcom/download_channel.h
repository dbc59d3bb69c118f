// The download channel: CDLCmd over DMSS download, for a phone in download mode (USB product
// 9008), with the public commands a technician's tools need beside it.
//
// Results (qcom/results.h): DMSS_SUCCESS when the boot loader answered as asked; DMSS_REJECTED
// when it answered with a NAK, whose reason last_nak_reason() keeps (a boot loader without the
// vendor extension of qcom/dmss_protocol.h refuses the boot-block query and the version check so,
// with reason 6, invalid command); DMSS_BAD_REPLY when the answer is malformed; DMSS_TIMEOUT when
// none came within kReplyTimeout; DMSS_STOPPED, DMSS_PORT_GONE, DMSS_IO_FAILED,
// DMSS_NOT_ATTACHED as the port said.
//
// Threads: the worker's only; the stop event may be set from any thread and ends a wait at once.
#pragma once

#include <string>

#include "qcom/channels.h"
#include "qcom/dmss_packets.h"
#include "qcom/packet_port.h"

namespace fendrel::qcom {

class DownloadChannel final : public CDLCmd {
  public:
    // Boot loaders answer within milliseconds; the common hosts allow two seconds.
    static constexpr platform::Milliseconds kReplyTimeout{2000};
    // A boot loader may hand over to the programmer before it answers GO.
    static constexpr platform::Milliseconds kGoTimeout{5000};

    // `stop` and `clock` must outlive the channel.
    DownloadChannel(const platform::ManualResetEvent& stop, platform::Clock& clock)
        : port_(stop, clock) {}

    void Attach(platform::SerialPort& port) override;
    void Detach() override;

    // The vendor boot-block query; `info.boot_block` holds the boot block value.
    DL_RET_E_TYPE DLGetBBinfo(BBINFO_S_TYPE& info) override;
    // The vendor version check: DMSS_SUCCESS when the boot block accepts `version`.
    DL_RET_E_TYPE DLVerifyVersion(unsigned short version) override;

    // The public commands: NOP (answered by ACK), the parameter request, the boot loader's
    // version text, and the reset (ACK, then the phone restarts into normal mode; a port that
    // went away after the request had gone out is a phone that restarted before its ACK got
    // through, DMSS_SUCCESS).
    DL_RET_E_TYPE Nop();
    DL_RET_E_TYPE ReadParameters(DmssParameters& parameters);
    DL_RET_E_TYPE ReadSoftwareVersion(std::string& version);
    DL_RET_E_TYPE Reset();

    // What a programmer's upload needs: one write packet of `data` at `address` in `form`
    // (qcom/dmss_packets.h), answered by ACK; and GO, which starts the code at `address` (ACK,
    // then the programmer runs; a port that went away after GO had gone out is a programmer that
    // re-enumerated the phone before the ACK got through, DMSS_SUCCESS).
    DL_RET_E_TYPE Write(DmssWriteForm form, std::uint32_t address,
                        std::span<const std::uint8_t> data);
    DL_RET_E_TYPE Go(std::uint32_t address);

    // The reason of the last NAK, 0 when the last command got none.
    std::uint16_t last_nak_reason() const { return last_nak_reason_; }
    std::size_t dropped_frames() const { return port_.dropped_frames(); }

  private:
    // Sends `request` and takes the packet with code `reply_code` (or a NAK) as its answer.
    PacketPort::Exchange Command(std::span<const std::uint8_t> request, std::uint8_t reply_code,
                                 platform::Milliseconds timeout = kReplyTimeout);
    DL_RET_E_TYPE Acknowledged(std::span<const std::uint8_t> request);

    PacketPort port_;
    std::uint16_t last_nak_reason_ = 0;
};

}  // namespace fendrel::qcom
