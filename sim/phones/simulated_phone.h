// A simulated phone: a USB device in a fake device tree whose ttys are pseudo-terminals.
//
// The phone sits at one USB place of the tree ("1-3") for its whole life; plugging writes its
// device there (see fake_device_tree.h) with one pseudo-terminal per tty, unplugging removes
// it and hangs the host's descriptors up, re-plugging with another identity is a mode change
// (a new product id, new ttys, the same place, so the same socket as far as Windows-style
// instance ids go). What the phone answers is its PhoneBehaviour's business (phone_behaviour.h);
// without one it takes whatever the host writes and says nothing.
//
// Each phone runs one thread of its own that reads the host's bytes and calls the behaviour.
// Plug, Unplug and Replug may be called from any thread: they return once the change is made
// (the tree written or cleared). Queries (is_plugged, Node) may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/phones/disk_write_watch.h"
#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_behaviour.h"
#include "sim/phones/pseudo_terminal.h"

namespace sim {

// What can be wrong with a phone's disk: shown at once on a disk plugged when the fault is set,
// and at every plug after; a fault taken back (kNone) is gone from the next plug on.
enum class DiskFault {
    kNone,
    kReadOnly,        // write-protected: the system shows the disk read-only
    kUnplugMidWrite,  // the phone leaves the bus the moment its disk is opened for writing
};

// "read-only-disk", "unplug-mid-write" (fendrel-sim's names), or none.
std::optional<DiskFault> ParseDiskFault(std::string_view name);

// A tty or disk of a plugged phone.
struct PluggedNode {
    int interface_number = 0;
    std::string kernel_name;  // ttyUSB0, ttyACM1, sda
    std::string node;         // what the host opens: a /dev/pts path, a disk image
};

class SimulatedPhone final : private PhoneControl {
  public:
    // Does not plug the phone yet. `behaviour` may be null.
    SimulatedPhone(FakeDeviceTree& tree, std::string usb_path,
                   std::unique_ptr<PhoneBehaviour> behaviour);
    // Unplugs the phone and ends its thread.
    ~SimulatedPhone() override;
    SimulatedPhone(const SimulatedPhone&) = delete;
    SimulatedPhone& operator=(const SimulatedPhone&) = delete;

    // Plugs the phone in as `identity` (unplugging it first when it is plugged). False, with
    // error() set, when no pseudo-terminal, disk image or tree entry could be made; the phone
    // is then unplugged.
    bool Plug(const UsbIdentity& identity);
    // Also the behaviour's PhoneControl::Unplug; from another thread it returns once done.
    void Unplug() override;

    // Sets the fault of the phone's disk; returns once it applies. False, with error() set, when
    // it cannot be shown on this system (no lease on the image's file system).
    bool SetDiskFault(DiskFault fault);

    bool is_plugged() const;
    // The ttys and disks of the plugged phone, by interface number; none when unplugged.
    std::vector<PluggedNode> Nodes() const;
    // The node the host opens for the tty or disk of `interface_number`, empty when the phone
    // is unplugged or has none there.
    std::string Node(int interface_number) const;
    const std::string& usb_path() const { return usb_path_; }
    std::string error() const;

  private:
    struct Port {
        PseudoTerminal terminal;
        std::string pending;  // replies the host has not taken yet
        bool held = false;    // `pending` waits until the host's bytes are all taken
    };

    // PhoneControl, for the behaviour on the phone's thread.
    bool Reply(int interface_number, std::span<const std::uint8_t> bytes) override;
    bool ReplyWhenIdle(int interface_number, std::span<const std::uint8_t> bytes) override;
    void Replug(const UsbIdentity& identity) override;
    const UsbIdentity& identity() const override { return identity_; }
    void After(platform::Milliseconds delay, std::function<void(PhoneControl&)> action) override;

    // Runs `change` on the phone's thread and waits for it; called from the phone's thread (by
    // the behaviour), it only queues `change` to run once the behaviour's call has returned.
    void Post(std::function<void()> change);
    bool OnPhoneThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    void Loop();
    bool DoPlug(const UsbIdentity& identity);
    void DoUnplug();
    // Shows the disk fault on the plugged disk; false, with `error` set, when it cannot.
    bool ApplyDiskFault(std::string& error);
    void Exchange(int interface_number, Port& port, short events);
    void Flush(Port& port);
    // Runs the held-back actions that are due; the poll time-out until the next one (-1: none).
    int RunDueActions();

    FakeDeviceTree& tree_;
    const std::string usb_path_;
    std::unique_ptr<PhoneBehaviour> behaviour_;

    // Owned by the phone's thread.
    UsbIdentity identity_;
    DiskFault disk_fault_ = DiskFault::kNone;
    std::unique_ptr<DiskWriteWatch> write_watch_;  // made by the thread: its notices are its own
    std::map<int, Port> ports_;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void(PhoneControl&)>>
        held_actions_;

    // Shared with the callers' threads.
    mutable std::mutex mutex_;
    std::vector<std::function<void()>> changes_;
    bool ending_ = false;
    bool plugged_ = false;
    std::vector<PluggedNode> nodes_;
    std::string error_;
    platform::ManualResetEvent wake_;
    std::thread thread_;
};

}  // namespace sim
