#include "sim/phones/simulated_phone.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <future>

#include "platform/native_handle_posix.h"
#include "sim/phones/disk_image.h"

namespace sim {
namespace {

constexpr std::size_t kReadChunk = 4096;

}  // namespace

std::optional<DiskFault> ParseDiskFault(std::string_view name) {
    if (name == "read-only-disk")
        return DiskFault::kReadOnly;
    if (name == "unplug-mid-write")
        return DiskFault::kUnplugMidWrite;
    return std::nullopt;
}

SimulatedPhone::SimulatedPhone(FakeDeviceTree& tree, std::string usb_path,
                               std::unique_ptr<PhoneBehaviour> behaviour)
    : tree_(tree), usb_path_(std::move(usb_path)), behaviour_(std::move(behaviour)) {
    thread_ = std::thread(&SimulatedPhone::Loop, this);
}

SimulatedPhone::~SimulatedPhone() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.Set();
    thread_.join();
}

bool SimulatedPhone::Plug(const UsbIdentity& identity) {
    bool plugged = false;
    Post([&] { plugged = DoPlug(identity); });
    return plugged;
}

void SimulatedPhone::Unplug() {
    Post([this] { DoUnplug(); });
}

void SimulatedPhone::Replug(const UsbIdentity& identity) {
    Post([this, identity] { DoPlug(identity); });
}

bool SimulatedPhone::SetDiskFault(DiskFault fault) {
    bool shown = false;
    Post([&] {
        disk_fault_ = fault;
        std::string error;
        shown = ApplyDiskFault(error);
        const std::lock_guard lock(mutex_);
        error_ = error;
    });
    return shown;
}

bool SimulatedPhone::is_plugged() const {
    const std::lock_guard lock(mutex_);
    return plugged_;
}

std::vector<PluggedNode> SimulatedPhone::Nodes() const {
    const std::lock_guard lock(mutex_);
    return nodes_;
}

std::string SimulatedPhone::Node(int interface_number) const {
    const std::lock_guard lock(mutex_);
    for (const PluggedNode& node : nodes_) {
        if (node.interface_number == interface_number)
            return node.node;
    }
    return {};
}

std::string SimulatedPhone::error() const {
    const std::lock_guard lock(mutex_);
    return error_;
}

void SimulatedPhone::Post(std::function<void()> change) {
    if (OnPhoneThread()) {
        const std::lock_guard lock(mutex_);
        changes_.push_back(std::move(change));
        wake_.Set();
        return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    {
        const std::lock_guard lock(mutex_);
        changes_.push_back([&] {
            change();
            done.set_value();
        });
    }
    wake_.Set();
    finished.wait();
}

void SimulatedPhone::Loop() {
    write_watch_ = std::make_unique<DiskWriteWatch>();
    while (true) {
        // Reset before taking the queue: a change posted after this sets the event again.
        wake_.Reset();
        std::vector<std::function<void()>> changes;
        bool ending;
        {
            const std::lock_guard lock(mutex_);
            changes.swap(changes_);
            ending = ending_;
        }
        if (!changes.empty()) {
            // What the behaviour answered before it asked for a change goes out before it.
            for (auto& [number, port] : ports_) {
                port.held = false;
                Flush(port);
            }
        }
        for (const auto& change : changes)
            change();
        if (ending) {
            DoUnplug();
            return;
        }

        const int timeout_ms = RunDueActions();
        std::vector<pollfd> watched{{platform::Descriptor(wake_.native_handle()), POLLIN, 0},
                                    {write_watch_->poll_fd(), POLLIN, 0}};
        std::vector<int> interfaces;
        for (const auto& [number, port] : ports_) {
            const short events = port.pending.empty() ? POLLIN : POLLIN | POLLOUT;
            watched.push_back({port.terminal.master_fd(), events, 0});
            interfaces.push_back(number);
        }
        if (poll(watched.data(), watched.size(), timeout_ms) <= 0)
            continue;  // EINTR, or an action is due
        if (watched[1].revents != 0 && write_watch_->Opened()) {
            DoUnplug();  // before the writer's open returns
            continue;
        }
        for (std::size_t i = 2; i < watched.size(); ++i) {
            if (watched[i].revents != 0)
                Exchange(interfaces[i - 2], ports_.at(interfaces[i - 2]), watched[i].revents);
        }
    }
}

void SimulatedPhone::After(platform::Milliseconds delay,
                           std::function<void(PhoneControl&)> action) {
    held_actions_.emplace(std::chrono::steady_clock::now() + delay, std::move(action));
}

int SimulatedPhone::RunDueActions() {
    while (!held_actions_.empty()) {
        const auto first = held_actions_.begin();
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            first->first - std::chrono::steady_clock::now());
        if (left.count() > 0)
            return static_cast<int>(std::min<long long>(left.count(), INT_MAX));
        auto action = std::move(first->second);
        held_actions_.erase(first);
        action(*this);
    }
    return -1;
}

void SimulatedPhone::Exchange(int interface_number, Port& port, short events) {
    if (events & POLLIN) {
        std::uint8_t bytes[kReadChunk];
        const ssize_t got = read(port.terminal.master_fd(), bytes, sizeof bytes);
        if (got > 0 && behaviour_ != nullptr)
            behaviour_->OnHostBytes(*this, interface_number,
                                    std::span(bytes, static_cast<std::size_t>(got)));
    }
    // Held replies wait while the host's bytes keep coming.
    if ((events & POLLOUT) && !(port.held && (events & POLLIN))) {
        port.held = false;
        Flush(port);
    }
}

bool SimulatedPhone::Reply(int interface_number, std::span<const std::uint8_t> bytes) {
    const auto found = ports_.find(interface_number);
    if (found == ports_.end())
        return false;
    Port& port = found->second;
    port.pending.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    port.held = false;
    Flush(port);
    return true;
}

bool SimulatedPhone::ReplyWhenIdle(int interface_number, std::span<const std::uint8_t> bytes) {
    const auto found = ports_.find(interface_number);
    if (found == ports_.end())
        return false;
    Port& port = found->second;
    // Bytes already waiting for room are not held back any longer than they are.
    if (port.pending.empty())
        port.held = true;
    port.pending.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (port.pending.size() >= kHeldReplyLimit) {
        port.held = false;
        Flush(port);
    }
    return true;
}

void SimulatedPhone::Flush(Port& port) {
    while (!port.pending.empty()) {
        const ssize_t written =
            write(port.terminal.master_fd(), port.pending.data(), port.pending.size());
        if (written <= 0)
            return;  // full: the loop waits for room
        port.pending.erase(0, static_cast<std::size_t>(written));
    }
}

bool SimulatedPhone::DoPlug(const UsbIdentity& identity) {
    DoUnplug();
    UsbIdentity plugged = identity;
    for (UsbInterface& interface : plugged.interfaces) {
        if (interface.kind == InterfaceKind::kDisk && disk_fault_ == DiskFault::kReadOnly)
            interface.read_only = true;
    }
    std::map<int, Port> ports;
    std::string error;
    bool made = true;
    for (UsbInterface& interface : plugged.interfaces) {
        if (interface.kind == InterfaceKind::kSerial || interface.kind == InterfaceKind::kModem) {
            Port port;
            made = port.terminal.Open(&error);
            interface.node = port.terminal.slave_path();
            ports.emplace(interface.number, std::move(port));
        } else if (interface.kind == InterfaceKind::kDisk) {
            made = EnsureDiskImage(interface.node, interface.disk_bytes, error);
        }
        if (!made)
            break;
    }
    std::map<int, std::string> names;
    if (made && !tree_.Add(usb_path_, plugged, &names)) {
        error = tree_.error();
        made = false;
    }
    if (!made) {
        const std::lock_guard lock(mutex_);
        error_ = usb_path_ + ": " + error;
        return false;
    }
    identity_ = std::move(plugged);
    ports_ = std::move(ports);
    {
        const std::lock_guard lock(mutex_);
        plugged_ = true;
        error_.clear();
        for (const UsbInterface& interface : identity_.interfaces) {
            if (const auto name = names.find(interface.number); name != names.end())
                nodes_.push_back({interface.number, name->second, interface.node});
        }
    }
    if (!ApplyDiskFault(error)) {
        const std::lock_guard lock(mutex_);
        error_ = usb_path_ + ": " + error;
    }
    if (behaviour_ != nullptr)
        behaviour_->OnPlugged(*this);
    return true;
}

bool SimulatedPhone::ApplyDiskFault(std::string& error) {
    const auto disk = std::find_if(
        identity_.interfaces.begin(), identity_.interfaces.end(),
        [](const UsbInterface& interface) { return interface.kind == InterfaceKind::kDisk; });
    write_watch_->Release();
    if (!is_plugged() || disk == identity_.interfaces.end())
        return true;  // shown at the next plug with a disk
    if (disk_fault_ == DiskFault::kReadOnly && !disk->read_only) {
        disk->read_only = true;
        if (!tree_.Add(usb_path_, identity_)) {
            error = tree_.error();
            return false;
        }
    }
    return disk_fault_ != DiskFault::kUnplugMidWrite || write_watch_->Arm(disk->node, error);
}

void SimulatedPhone::DoUnplug() {
    // Out of the tree first, so that no scan finds a port whose line is already gone.
    tree_.Remove(usb_path_);
    ports_.clear();
    held_actions_.clear();
    {
        const std::lock_guard lock(mutex_);
        plugged_ = false;
        nodes_.clear();
    }
    // Last, once the phone is gone in every respect: a writer waiting on its disk goes on.
    write_watch_->Release();
}

}  // namespace sim
