#include "tests/support/special_files.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace fendrel::testing {

void MakeFifo(const std::string& path) {
    if (mkfifo(path.c_str(), 0600) != 0)
        ADD_FAILURE() << "cannot make the FIFO " << path << ": " << std::strerror(errno);
}

void MakeSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path) << path;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        ADD_FAILURE() << "cannot make the socket " << path << ": " << std::strerror(errno);
    close(fd);
}

}  // namespace fendrel::testing
