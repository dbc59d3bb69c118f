// A packet link for protocol tests: a phone in the test answers each packet as it is sent, waits
// cost virtual time only, and a test can stop or unplug the link.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "qcom/packet_link.h"

namespace fendrel::qcom::testing {

class FakePacketLink final : public PacketLink {
  public:
    explicit FakePacketLink(platform::VirtualClock& clock) : clock_(clock) {}

    // Called with every packet sent; answers with Reply.
    std::function<void(const Packet&)> phone;
    std::vector<Packet> sent;
    bool stopped = false;
    bool gone = false;  // once what was answered is read, the port is gone
    int taken = 0;      // packets the host has received
    std::map<std::uint8_t, int> taken_by_code;
    platform::Milliseconds cost_per_packet{0};  // time each received packet takes

    void Reply(Packet packet) { inbox_.push_back(std::move(packet)); }

    DMSS_RET_E_TYPE Send(std::span<const std::uint8_t> packet) override {
        if (stopped)
            return DMSS_STOPPED;
        if (gone)
            return DMSS_PORT_GONE;
        sent.emplace_back(packet.begin(), packet.end());
        if (phone)
            phone(sent.back());
        return DMSS_SUCCESS;
    }
    DMSS_RET_E_TYPE Receive(Packet& packet, platform::Milliseconds timeout) override {
        if (stopped)
            return DMSS_STOPPED;
        if (inbox_.empty()) {
            if (gone)
                return DMSS_PORT_GONE;
            clock_.Advance(timeout);
            return DMSS_TIMEOUT;
        }
        packet = std::move(inbox_.front());
        inbox_.pop_front();
        ++taken;
        ++taken_by_code[packet[0]];
        clock_.Advance(cost_per_packet);
        return DMSS_SUCCESS;
    }
    DMSS_RET_E_TYPE Discard() override {
        inbox_.clear();
        return stopped ? DMSS_STOPPED : DMSS_SUCCESS;
    }

    // Packets sent with code `code`.
    std::vector<Packet> SentWith(std::uint8_t code) const {
        std::vector<Packet> found;
        std::copy_if(sent.begin(), sent.end(), std::back_inserter(found),
                     [code](const Packet& p) { return !p.empty() && p[0] == code; });
        return found;
    }

  private:
    platform::VirtualClock& clock_;
    std::deque<Packet> inbox_;
};

}  // namespace fendrel::qcom::testing
