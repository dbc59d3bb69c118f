// One request and its reply over a serial port: the exchange both command channels are built on;
// and the packet link (qcom/packet_link.h) that the protocols after a programmer's start use.
//
// Each request goes out as one frame with a leading flag, after whatever the port had buffered
// (late replies to earlier requests) has been thrown away. Then the port is read until a packet
// arrives that the caller's classifier takes as the reply or as a refusal; packets it does not
// know (log packets, event reports, late replies) are passed over, and damaged frames are dropped
// by the decoder. The wait watches the stop event and runs on the given clock, so that in tests a
// phone that never answers costs virtual time only.
//
// Blocking: at most kWriteTimeout to write, then at most the caller's time-out. A stop event
// that is set lets the request go out but ends the wait at once. Threads: the worker's only.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "platform/clock.h"
#include "qcom/hdlc.h"
#include "qcom/packet_link.h"
#include "qcom/results.h"

namespace platform {
class ManualResetEvent;
class SerialPort;
}  // namespace platform

namespace fendrel::qcom {

class PacketPort final : public PacketLink {
  public:
    // Room in the port's output drains in microseconds; a port that takes no bytes for this long
    // is a phone that stopped reading.
    static constexpr platform::Milliseconds kWriteTimeout{1000};

    enum class Verdict {
        kReply,     // the answer to the request
        kRefusal,   // the phone's refusal of the request
        kPassOver,  // something else: keep waiting
    };
    using Classifier = std::function<Verdict(const Packet&)>;

    struct Exchange {
        // DMSS_SUCCESS for a reply, DMSS_REJECTED for a refusal, otherwise why no answer came.
        DMSS_RET_E_TYPE result = DMSS_NOT_ATTACHED;
        Packet answer;         // the reply or the refusal
        bool written = false;  // the whole request went out

        // The port went away after the request had gone out: a phone told to restart or to
        // switch mode may leave the bus before its answer gets through.
        bool LeftAfterRequest() const { return result == DMSS_PORT_GONE && written; }
    };

    // `stop` and `clock` must outlive the object.
    PacketPort(const platform::ManualResetEvent& stop, platform::Clock& clock)
        : stop_(stop), clock_(clock) {}

    // Binds to an open port (not owned; it must stay until Detach).
    void Attach(platform::SerialPort& port);
    void Detach();

    // Sends `request` and waits up to `timeout` for the answer. DMSS_NOT_ATTACHED without a port
    // or with a closed one; DMSS_IO_FAILED when the port fails; DMSS_TIMEOUT, DMSS_STOPPED,
    // DMSS_PORT_GONE as the wait ends.
    Exchange Transact(std::span<const std::uint8_t> request, platform::Milliseconds timeout,
                      const Classifier& classify);

    DMSS_RET_E_TYPE Send(std::span<const std::uint8_t> packet) override;
    DMSS_RET_E_TYPE Receive(Packet& packet, platform::Milliseconds timeout) override;
    DMSS_RET_E_TYPE Discard() override;

    // Damaged frames dropped so far on this object.
    std::size_t dropped_frames() const { return decoder_.dropped(); }

  private:
    // Reads what is buffered into the decoder; false, with `result` set, when the port failed.
    bool Drain(DMSS_RET_E_TYPE& result);

    const platform::ManualResetEvent& stop_;
    platform::Clock& clock_;
    platform::SerialPort* port_ = nullptr;
    FrameDecoder decoder_;
};

}  // namespace fendrel::qcom
