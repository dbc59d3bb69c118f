// A byte stream to a phone, as the download protocols that have no framing of their own (Sahara,
// Firehose) need it: writes and reads with a time-out each, a time-out told apart from a stop and
// from a vanished device.
//
// LinkBuffer keeps what was read and not yet taken, so that a protocol can wait for a whole
// packet, and so that bytes that arrive after one protocol's last packet (a programmer's first
// log lines after the loader's last answer) are there for the next.
//
// Threads: a link and its buffer are used by one thread (the worker's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/clock.h"

namespace platform {
class ManualResetEvent;
class SerialPort;
}  // namespace platform

namespace fendrel::qcom {

enum class LinkStatus {
    kOk,
    kTimeout,  // the time-out passed first
    kStopped,  // the stop event was set first
    kGone,     // the device went away
    kError,    // another failure of the port
};

class ByteLink {
  public:
    virtual ~ByteLink() = default;
    // Writes all of `bytes`, waiting at most `timeout` for room. `written` (when given) tells how
    // many went out, also when the write ended early.
    virtual LinkStatus Write(std::span<const std::uint8_t> bytes, platform::Milliseconds timeout,
                             std::size_t* written = nullptr) = 0;
    // Waits at most `timeout` until bytes are there, then takes what is (at most into.size()).
    virtual LinkStatus Read(std::span<std::uint8_t> into, std::size_t& got,
                            platform::Milliseconds timeout) = 0;
    // While off, waits do not end for the stop event: for finishing a packet that the phone
    // would otherwise misread, after a stop. On by default.
    virtual void set_stoppable(bool stoppable) = 0;
    // Whether the stop event is set.
    virtual bool stop_requested() const = 0;
};

// The worker's serial port and stop event (not owned; both must outlive the link).
class SerialByteLink final : public ByteLink {
  public:
    SerialByteLink(platform::SerialPort& port, const platform::ManualResetEvent& stop);
    ~SerialByteLink() override;

    LinkStatus Write(std::span<const std::uint8_t> bytes, platform::Milliseconds timeout,
                     std::size_t* written = nullptr) override;
    LinkStatus Read(std::span<std::uint8_t> into, std::size_t& got,
                    platform::Milliseconds timeout) override;
    void set_stoppable(bool stoppable) override { stoppable_ = stoppable; }
    bool stop_requested() const override;

  private:
    const platform::ManualResetEvent& WatchedEvent() const;

    platform::SerialPort& port_;
    const platform::ManualResetEvent& stop_;
    // Never set: what the waits watch while the link is not stoppable.
    const std::unique_ptr<platform::ManualResetEvent> never_;
    bool stoppable_ = true;
};

class LinkBuffer {
  public:
    // `link` and `clock` must outlive the buffer.
    explicit LinkBuffer(ByteLink& link, platform::Clock& clock = platform::SystemClock())
        : link_(link), clock_(clock) {}

    ByteLink& link() { return link_; }
    platform::Clock& clock() { return clock_; }

    // Waits until at least `count` bytes are buffered, at most `timeout` in all.
    LinkStatus Want(std::size_t count, platform::Milliseconds timeout);
    // Waits at most `timeout` for bytes beyond those buffered now.
    LinkStatus More(platform::Milliseconds timeout);

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    void Consume(std::size_t count);
    void Clear() { bytes_.clear(); }

  private:
    ByteLink& link_;
    platform::Clock& clock_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace fendrel::qcom
