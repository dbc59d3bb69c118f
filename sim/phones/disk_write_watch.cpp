#include "sim/phones/disk_write_watch.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {
namespace {

// A real-time signal of our own, queued with the file it is about.
int LeaseSignal() {
    return SIGRTMIN + 4;
}

sigset_t LeaseSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, LeaseSignal());
    return set;
}

}  // namespace

DiskWriteWatch::DiskWriteWatch() {
    const sigset_t set = LeaseSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal_fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

DiskWriteWatch::~DiskWriteWatch() {
    Release();
    if (signal_fd_ >= 0)
        close(signal_fd_);
}

bool DiskWriteWatch::Arm(const std::string& image, std::string& error) {
    Release();
    lease_fd_ = open(image.c_str(), O_RDONLY | O_CLOEXEC);
    // The notice goes to this thread only, which keeps the signal blocked and reads it from
    // signal_fd_.
    const f_owner_ex owner{F_OWNER_TID, static_cast<pid_t>(gettid())};
    if (signal_fd_ < 0 || lease_fd_ < 0 || fcntl(lease_fd_, F_SETSIG, LeaseSignal()) != 0 ||
        fcntl(lease_fd_, F_SETOWN_EX, &owner) != 0 || fcntl(lease_fd_, F_SETLEASE, F_RDLCK) != 0) {
        error = "cannot watch " + image + " for writers: " + std::strerror(errno);
        Release();
        return false;
    }
    return true;
}

void DiskWriteWatch::Release() {
    if (lease_fd_ < 0)
        return;
    fcntl(lease_fd_, F_SETLEASE, F_UNLCK);
    close(lease_fd_);
    lease_fd_ = -1;
}

bool DiskWriteWatch::Opened() {
    bool ours = false;
    signalfd_siginfo notice{};
    while (read(signal_fd_, &notice, sizeof notice) == static_cast<ssize_t>(sizeof notice))
        ours = ours || (lease_fd_ >= 0 && static_cast<int>(notice.ssi_fd) == lease_fd_);
    return ours;
}

}  // namespace sim
