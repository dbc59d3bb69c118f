// Whole packets to and from a phone over its port, each in one frame (qcom/hdlc.h): what a
// protocol needs that keeps several requests on the way at once (streaming download's writes),
// beside the request-and-reply exchange of the command channels (qcom/packet_port.h).
//
// Results: DMSS_SUCCESS; DMSS_TIMEOUT when nothing came (or the phone took no bytes) in time;
// DMSS_STOPPED when the stop event ended the wait; DMSS_PORT_GONE when the port went away;
// DMSS_IO_FAILED when it failed otherwise; DMSS_NOT_ATTACHED without an open port.
//
// Threads: one thread (the worker's) uses a link.
#pragma once

#include <cstdint>
#include <span>

#include "platform/clock.h"
#include "qcom/hdlc.h"
#include "qcom/results.h"

namespace fendrel::qcom {

class PacketLink {
  public:
    virtual ~PacketLink() = default;

    // Sends `packet` in one frame with a leading flag. Waits only while the port takes no bytes.
    virtual DMSS_RET_E_TYPE Send(std::span<const std::uint8_t> packet) = 0;
    // The oldest packet received and not yet taken, waiting at most `timeout` for one. Damaged
    // frames are dropped on the way.
    virtual DMSS_RET_E_TYPE Receive(Packet& packet, platform::Milliseconds timeout) = 0;
    // Forgets every packet received and not yet taken, and what the port holds now.
    virtual DMSS_RET_E_TYPE Discard() = 0;
};

}  // namespace fendrel::qcom
