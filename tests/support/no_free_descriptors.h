// Test helper: while the object lives, the process cannot open one more file descriptor (its
// limit is lowered to the lowest free number), so pipes, files and sockets all fail to open.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace fendrel::testing {

class NoFreeDescriptors {
  public:
    NoFreeDescriptors() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowest_free = open("/dev/null", O_RDONLY);
        close(lowest_free);
        rlimit none = saved_;
        none.rlim_cur = static_cast<rlim_t>(lowest_free);
        setrlimit(RLIMIT_NOFILE, &none);
    }
    ~NoFreeDescriptors() { setrlimit(RLIMIT_NOFILE, &saved_); }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

  private:
    rlimit saved_{};
};

}  // namespace fendrel::testing
