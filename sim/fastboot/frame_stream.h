// The device's side of the fastboot TCP transport on one accepted connection: the handshake and
// frames of an 8-byte big-endian length and a payload. Every wait also watches a stop event, so
// that stopping the simulator ends a session at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/event.h"

namespace fastboot_sim {

class FrameStream {
  public:
    FrameStream(int fd, const platform::ManualResetEvent& stop) : fd_(fd), stop_(stop) {}

    // Each returns false once the host has gone, the connection failed or the stop event is set.
    bool ReadExact(void* data, std::size_t size);
    bool ReadFrameLength(std::uint64_t* length);
    // Skips `size` payload bytes.
    bool Discard(std::uint64_t size);
    bool WriteFrame(const std::string& payload);
    bool WriteRaw(const void* data, std::size_t size);

    // Waits until the host closes the connection, the stop event is set, or `timeout_ms` passes
    // (a negative value waits without limit); reads nothing. True when the time passed.
    bool WaitQuietly(int timeout_ms);

  private:
    // Refills the buffer; false when nothing more can come.
    bool Fill();

    int fd_;
    const platform::ManualResetEvent& stop_;
    std::vector<unsigned char> buffer_ = std::vector<unsigned char>(1 << 20);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

}  // namespace fastboot_sim
