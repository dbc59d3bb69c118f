// A byte link for protocol tests: a phone in the test answers each write at once, waits cost
// virtual time only, and a test can stop or unplug the link at a chosen write.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "qcom/byte_link.h"

namespace fendrel::qcom::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

class FakeLink final : public ByteLink {
  public:
    explicit FakeLink(platform::VirtualClock& clock) : clock_(clock) {}

    // Called with every write that goes through; answers with Send.
    std::function<void(std::span<const std::uint8_t>)> phone;
    // Every byte the host wrote, in order.
    Bytes written;
    // The write of this number (from 1) is cut in half and answered kStopped, or kGone.
    int stop_at_write = 0;
    int gone_at_write = 0;

    void Send(std::span<const std::uint8_t> bytes) {
        inbox_.insert(inbox_.end(), bytes.begin(), bytes.end());
    }
    void Send(std::string_view text) { Send(BytesOf(text)); }
    void Stop() { stopped_ = true; }
    // The phone leaves the bus: once what it sent is read, reads and writes answer kGone.
    void Unplug() { gone_ = true; }
    int writes() const { return writes_; }
    bool stoppable() const { return stoppable_; }

    LinkStatus Write(std::span<const std::uint8_t> bytes, platform::Milliseconds,
                     std::size_t* sent) override {
        ++writes_;
        if (sent != nullptr)
            *sent = 0;
        if (gone_ || writes_ == gone_at_write) {
            gone_ = true;
            return LinkStatus::kGone;
        }
        if (writes_ == stop_at_write)
            stopped_ = true;
        if (stopped_ && stoppable_) {
            const std::size_t half = writes_ == stop_at_write ? bytes.size() / 2 : 0;
            Take(bytes.first(half));
            if (sent != nullptr)
                *sent = half;
            return LinkStatus::kStopped;
        }
        Take(bytes);
        if (sent != nullptr)
            *sent = bytes.size();
        return LinkStatus::kOk;
    }

    LinkStatus Read(std::span<std::uint8_t> into, std::size_t& got,
                    platform::Milliseconds timeout) override {
        got = 0;
        if (stopped_ && stoppable_)
            return LinkStatus::kStopped;
        if (inbox_.empty()) {
            if (gone_)
                return LinkStatus::kGone;
            clock_.Advance(timeout);
            return LinkStatus::kTimeout;
        }
        got = std::min(into.size(), inbox_.size());
        std::copy_n(inbox_.begin(), got, into.begin());
        inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(got));
        return LinkStatus::kOk;
    }

    void set_stoppable(bool stoppable) override { stoppable_ = stoppable; }
    bool stop_requested() const override { return stopped_; }

  private:
    void Take(std::span<const std::uint8_t> bytes) {
        written.insert(written.end(), bytes.begin(), bytes.end());
        if (phone && !bytes.empty())
            phone(bytes);
    }

    platform::VirtualClock& clock_;
    std::deque<std::uint8_t> inbox_;
    int writes_ = 0;
    bool stopped_ = false;
    bool gone_ = false;
    bool stoppable_ = true;
};

}  // namespace fendrel::qcom::testing
