#include "sim/phones/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace sim {

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      slave_keeper_(std::exchange(other.slave_keeper_, -1)),
      slave_path_(std::move(other.slave_path_)) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
    if (this != &other) {
        Close();
        master_ = std::exchange(other.master_, -1);
        slave_keeper_ = std::exchange(other.slave_keeper_, -1);
        slave_path_ = std::move(other.slave_path_);
    }
    return *this;
}

bool PseudoTerminal::Open(std::string* error) {
    Close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    bool ok = master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 &&
              ptsname_r(master_, name, sizeof name) == 0;
    if (ok) {
        slave_keeper_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios line{};
        ok = slave_keeper_ >= 0 && tcgetattr(slave_keeper_, &line) == 0;
        if (ok) {
            cfmakeraw(&line);
            ok = tcsetattr(slave_keeper_, TCSANOW, &line) == 0;
        }
    }
    if (!ok) {
        if (error != nullptr)
            *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    slave_path_ = name;
    return true;
}

void PseudoTerminal::Close() {
    if (slave_keeper_ >= 0)
        close(slave_keeper_);
    if (master_ >= 0)
        close(master_);
    master_ = -1;
    slave_keeper_ = -1;
    slave_path_.clear();
}

}  // namespace sim
