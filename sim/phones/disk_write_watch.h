// Knowing, on a simulated phone's thread, the moment the host opens the phone's disk image for
// writing, while that open still waits: a read lease on the image. The system holds a writer's
// open until the lease is given up, so the phone can leave the bus before a single byte arrives
// on the disk (how a test shows a phone that is unplugged while it is written).
//
// Threads: constructed, armed, polled and destroyed on one thread (the lease's notice is a
// signal meant for that thread alone, which it keeps blocked).
#pragma once

#include <string>

namespace sim {

class DiskWriteWatch {
  public:
    DiskWriteWatch();
    ~DiskWriteWatch();
    DiskWriteWatch(const DiskWriteWatch&) = delete;
    DiskWriteWatch& operator=(const DiskWriteWatch&) = delete;

    // Watches `image` (released first when another was watched). False, with `error` set, when
    // the system refuses a lease (the image is open for writing already, or its file system
    // takes no leases).
    bool Arm(const std::string& image, std::string& error);
    // Gives the lease up: a writer waiting for it goes on.
    void Release();
    bool armed() const { return lease_fd_ >= 0; }

    // Polls readable when the watched image is being opened for writing.
    int poll_fd() const { return signal_fd_; }
    // Takes the notices that arrived; true when one was for the watched image.
    bool Opened();

  private:
    int signal_fd_ = -1;
    int lease_fd_ = -1;
};

}  // namespace sim
