// One pseudo-terminal pair standing for one tty of a simulated phone: the host opens the slave
// node (/dev/pts/N) as it would open /dev/ttyUSB0; the phone reads and writes the master side.
//
// The pair keeps a descriptor of its own on the slave side open, so the master never sees a
// hang-up while the host has the port closed (between two runs), and the host finds the node
// in raw mode. Closing the pair (Close, or the destructor) hangs up the host's descriptors: its
// reads then end as a vanished device.
#pragma once

#include <string>

namespace sim {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal() { Close(); }
    PseudoTerminal(PseudoTerminal&& other) noexcept;
    PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates a new pair; false with `error` set when the system has none to give.
    bool Open(std::string* error = nullptr);
    void Close();

    bool is_open() const { return master_ >= 0; }
    // The master side, non-blocking: read what the host wrote, write the phone's replies.
    int master_fd() const { return master_; }
    // The node the host opens.
    const std::string& slave_path() const { return slave_path_; }

  private:
    int master_ = -1;
    int slave_keeper_ = -1;
    std::string slave_path_;
};

}  // namespace sim
