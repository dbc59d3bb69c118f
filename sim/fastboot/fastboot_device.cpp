#include "sim/fastboot/fastboot_device.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/native_handle_posix.h"
#include "sim/fastboot/frame_stream.h"
#include "sim/fastboot/sparse_image.h"

namespace fastboot_sim {
namespace {

constexpr std::uint64_t kMaxCommandFrame = 4096;
constexpr int kListenBacklog = 4;

bool ParseDownloadSize(const std::string& text, std::uint32_t* size) {
    if (text.size() != 8)
        return false;
    *size = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        *size = *size << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

std::string Hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

// One host connection, from the handshake until the host leaves, the phone reboots or a fault
// drops the connection.
class FastbootDevice::Session {
  public:
    Session(FastbootDevice& device, int fd) : device_(device), fd_(fd), stream_(fd, device.stop_) {}

    void Run() {
        if (!Handshake())
            return;
        for (;;) {
            std::uint64_t length = 0;
            if (!stream_.ReadFrameLength(&length))
                return;
            if (length > kMaxCommandFrame) {
                device_.Record("* command frame of " + std::to_string(length) + " bytes");
                if (!stream_.Discard(length) || !Reply("FAILcommand too long"))
                    return;
                continue;
            }
            std::string command(length, '\0');
            if (!stream_.ReadExact(command.data(), command.size()))
                return;
            device_.Record("> " + command);
            if (!Handle(command))
                return;
        }
    }

    // Whether the connection is to be cut rather than closed (a simulated pull of the cable).
    bool dropped() const { return dropped_; }

  private:
    bool Handshake() {
        char hello[4];
        if (!stream_.ReadExact(hello, sizeof hello))
            return false;
        device_.Record("* handshake " + std::string(hello, sizeof hello));
        if (hello[0] != 'F' || hello[1] != 'B') {
            device_.Record("* not a fastboot host");
            return false;
        }
        return stream_.WriteRaw("FB01", 4);
    }

    bool Reply(const std::string& status) {
        device_.Record("< " + status);
        return stream_.WriteFrame(status);
    }

    bool Drop(const char* when) {
        device_.Record(std::string("* dropped the connection ") + when);
        dropped_ = true;
        return false;
    }

    // False when the session ends.
    bool Handle(const std::string& command) {
        const std::optional<Fault> fault = device_.TakeFault(command);
        if (fault) {
            switch (fault->kind) {
                case Fault::Kind::kFail:
                    return Reply("FAIL" + fault->text);
                case Fault::Kind::kShortReply:
                    return Reply("OKA");
                case Fault::Kind::kSilence:
                    device_.Record("* silent");
                    if (stream_.WaitQuietly(fault->hold.count() > 0 ? fault->hold.count() : -1))
                        return Drop("while silent");
                    return false;
                case Fault::Kind::kDelay:
                    if (!stream_.WaitQuietly(static_cast<int>(fault->hold.count())))
                        return false;
                    break;
                case Fault::Kind::kInfo:
                    for (std::uint32_t i = 1; i <= fault->count; ++i) {
                        if (!Reply("INFO" + fault->text + " " + std::to_string(i)))
                            return false;
                    }
                    break;
                case Fault::Kind::kData:
                case Fault::Kind::kDropDownload:
                    break;
            }
        }
        if (command.starts_with("download:"))
            return Download(command.substr(9), fault);
        if (command == "reboot" || command == "reboot-bootloader") {
            device_.CountReboot();
            Reply("OKAY");
            return false;  // the phone restarts: the connection ends
        }
        return Reply(Execute(command));
    }

    bool Download(const std::string& size_text, const std::optional<Fault>& fault) {
        std::uint32_t size = 0;
        if (!ParseDownloadSize(size_text, &size))
            return Reply("FAILinvalid download size");
        if (size == 0)
            return Reply("FAILdownload of no data");
        if (size > device_.options_.max_download_size)
            return Reply("FAILdata too large");
        const bool short_data = fault && fault->kind == Fault::Kind::kData;
        const std::uint32_t announced = short_data ? fault->size : size;
        char reply[16];
        std::snprintf(reply, sizeof reply, "DATA%08x", announced);
        if (!Reply(reply))
            return false;
        if (fault && fault->kind == Fault::Kind::kDropDownload) {
            const std::uint32_t before = std::min(fault->size, announced);
            download_.resize(before);
            if (!ReceiveData(before))
                return false;
            return Drop("during the data");
        }
        download_.resize(announced);
        if (!ReceiveData(announced))
            return false;
        device_.Record("* " + std::to_string(announced) + " bytes of data");
        have_download_ = true;
        return Reply("OKAY");
    }

    // The data phase: `size` bytes in any number of frames.
    bool ReceiveData(std::uint32_t size) {
        std::uint64_t have = 0;
        while (have < size) {
            std::uint64_t length = 0;
            if (!stream_.ReadFrameLength(&length))
                return false;
            const std::uint64_t take = std::min<std::uint64_t>(length, size - have);
            if (!stream_.ReadExact(download_.data() + have, take))
                return false;
            have += take;
            if (length > take) {
                device_.Record("* " + std::to_string(length - take) + " bytes beyond the data");
                if (!stream_.Discard(length - take))
                    return false;
            }
        }
        return true;
    }

    std::string Execute(const std::string& command) {
        if (command.starts_with("getvar:"))
            return device_.GetVar(command.substr(7));
        if (command.starts_with("flash:")) {
            if (!have_download_)
                return "FAILno image downloaded";
            have_download_ = false;
            return device_.Flash(command.substr(6), std::move(download_));
        }
        if (command.starts_with("erase:"))
            return device_.Erase(command.substr(6));
        if (command == "continue")
            return "OKAY";
        return "FAILunknown command";
    }

    FastbootDevice& device_;
    int fd_;
    FrameStream stream_;
    std::vector<unsigned char> download_;
    bool have_download_ = false;
    bool dropped_ = false;
};

FastbootDevice::FastbootDevice(DeviceOptions options) : options_(std::move(options)) {}

FastbootDevice::~FastbootDevice() {
    Stop();
}

void FastbootDevice::AddMemoryPartition(const std::string& name) {
    std::lock_guard lock(mutex_);
    partitions_[name] = MakeMemoryPartition();
}

bool FastbootDevice::AddFilePartition(const std::string& name, const std::string& path,
                                      std::string* error) {
    std::unique_ptr<Partition> partition = MakeFilePartition(path, error);
    if (partition == nullptr)
        return false;
    std::lock_guard lock(mutex_);
    partitions_[name] = std::move(partition);
    return true;
}

void FastbootDevice::AddFault(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

bool FastbootDevice::Start(std::string* error) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, kListenBacklog) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = "cannot listen on 127.0.0.1:" + std::to_string(options_.port) + ": " +
                 std::strerror(errno);
        close(listener_);
        listener_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void FastbootDevice::Stop() {
    stop_.Set();
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        close(listener_);
    listener_ = -1;
}

std::string FastbootDevice::interface_name() const {
    return "tcp:127.0.0.1:" + std::to_string(port_);
}

void FastbootDevice::Serve() {
    for (;;) {
        pollfd entries[2] = {{listener_, POLLIN, 0},
                             {platform::Descriptor(stop_.native_handle()), POLLIN, 0}};
        if (poll(entries, 2, -1) < 0 && errno != EINTR)
            return;
        if (entries[1].revents != 0)
            return;
        if (entries[0].revents == 0)
            continue;
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            continue;
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Record("* host connected");
        Session session(*this, fd);
        session.Run();
        if (session.dropped()) {
            // Reset rather than close, as a vanished phone leaves the host nothing to read.
            const linger abort{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        close(fd);
        Record("* connection closed");
    }
}

std::optional<Fault> FastbootDevice::TakeFault(const std::string& command) {
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (command.starts_with(it->command)) {
            Fault fault = std::move(*it);
            faults_.erase(it);
            return fault;
        }
    }
    return std::nullopt;
}

std::string FastbootDevice::GetVar(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto partition_of = [&](std::string_view prefix) -> Partition* {
        if (!name.starts_with(prefix))
            return nullptr;
        const auto found = partitions_.find(name.substr(prefix.size()));
        return found == partitions_.end() ? nullptr : found->second.get();
    };
    if (name == "max-download-size")
        return "OKAY" + Hex(options_.max_download_size);
    if (name == "product")
        return "OKAY" + options_.product;
    if (name == "version")
        return "OKAY0.4";
    if (name == "serialno")
        return "OKAYFENDRELSIM";
    if (name.starts_with("has-slot:") || name.starts_with("is-logical:"))
        return "OKAYno";
    if (name.starts_with("partition-type:"))
        return partition_of("partition-type:") != nullptr ? "OKAYraw" : "FAILno such partition";
    if (name.starts_with("partition-size:")) {
        const Partition* partition = partition_of("partition-size:");
        return partition != nullptr ? "OKAY" + Hex(partition->size()) : "FAILno such partition";
    }
    return "FAILunknown variable";
}

std::string FastbootDevice::Flash(const std::string& name, std::vector<unsigned char>&& image) {
    std::lock_guard lock(mutex_);
    const auto found = partitions_.find(name);
    if (found == partitions_.end())
        return "FAILno such partition";
    Partition& partition = *found->second;
    std::string error;
    if (IsSparseImage(image.data(), image.size())) {
        if (!WriteSparseImage(image.data(), image.size(), options_.max_partition_size, partition,
                              &error))
            return "FAIL" + error;
        return "OKAY";
    }
    if (image.size() > options_.max_partition_size)
        return "FAILimage larger than the partition";
    return partition.Replace(std::move(image)) ? "OKAY" : "FAILpartition write failed";
}

std::string FastbootDevice::Erase(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto found = partitions_.find(name);
    if (found == partitions_.end())
        return "FAILno such partition";
    return found->second->Resize(0) ? "OKAY" : "FAILpartition erase failed";
}

void FastbootDevice::CountReboot() {
    std::lock_guard lock(mutex_);
    ++reboots_;
}

void FastbootDevice::Record(std::string line) {
    std::lock_guard lock(mutex_);
    if (options_.echo != nullptr) {
        std::fprintf(options_.echo, "%s\n", line.c_str());
        std::fflush(options_.echo);
    }
    transcript_.push_back(std::move(line));
}

std::string FastbootDevice::PartitionContents(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto found = partitions_.find(name);
    return found == partitions_.end() ? std::string() : found->second->Contents();
}

bool FastbootDevice::HasPartition(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return partitions_.contains(name);
}

std::vector<std::string> FastbootDevice::Transcript() const {
    std::lock_guard lock(mutex_);
    return transcript_;
}

std::vector<std::string> FastbootDevice::Commands() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> commands;
    for (const std::string& line : transcript_) {
        if (line.starts_with("> "))
            commands.push_back(line.substr(2));
    }
    return commands;
}

int FastbootDevice::reboots() const {
    std::lock_guard lock(mutex_);
    return reboots_;
}

}  // namespace fastboot_sim
