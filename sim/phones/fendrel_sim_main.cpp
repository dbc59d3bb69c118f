// fendrel-sim: simulated phones on pseudo-terminals, in a fake device tree, until stopped.
//
//   fendrel-sim --dir DIR [MODE...]    MODE: normal (9025), download (9008) or disk (9006)
//   fendrel-sim --dir DIR --phones N   N phones in normal mode
//
// The device tree is written to DIR/sys (point FENDREL_SYSFS_ROOT there), disk-mode flash
// images to DIR/disks. Phone n sits at USB place 1-n. Once every phone is plugged the program
// prints "ready"; then it reads commands from standard input ("unplug N", "plug N MODE",
// "list", "quit") and runs until "quit", SIGINT or SIGTERM, unplugging every phone on the way
// out. The phones do not speak any protocol yet: they take what the host writes and say nothing.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/simulated_phone.h"

namespace {

constexpr std::uint64_t kDiskBytes = 64ull << 20;
constexpr int kMaxPhones = 64;
constexpr int kUsageError = 2;

struct Station {
    std::string folder;
    std::unique_ptr<sim::FakeDeviceTree> tree;
    std::vector<std::unique_ptr<sim::SimulatedPhone>> phones;
};

std::optional<std::uint16_t> ParseMode(const std::string& mode) {
    if (mode == "normal" || mode == "9025")
        return sim::kNormalModeProduct;
    if (mode == "download" || mode == "9008")
        return sim::kDownloadModeProduct;
    if (mode == "disk" || mode == "9006")
        return sim::kDiskModeProduct;
    return std::nullopt;
}

sim::UsbIdentity Identity(const Station& station, int number, std::uint16_t product) {
    const std::string serial = "SIM" + std::to_string(number);
    if (product == sim::kDownloadModeProduct)
        return sim::DownloadModeIdentity(serial);
    if (product == sim::kDiskModeProduct) {
        const std::string image = station.folder + "/disks/phone" + std::to_string(number) + ".img";
        return sim::DiskModeIdentity(serial, image, kDiskBytes);
    }
    return sim::NormalModeIdentity(serial);
}

void PrintPhone(const sim::SimulatedPhone& phone, int number) {
    if (!phone.is_plugged()) {
        std::printf("phone %d at USB %s: unplugged\n", number, phone.usb_path().c_str());
        return;
    }
    std::printf("phone %d at USB %s:", number, phone.usb_path().c_str());
    for (const sim::PluggedNode& node : phone.Nodes())
        std::printf(" %s=%s", node.kernel_name.c_str(), node.node.c_str());
    std::printf("\n");
}

bool Plug(Station& station, int number, std::uint16_t product) {
    sim::SimulatedPhone& phone = *station.phones[static_cast<std::size_t>(number - 1)];
    if (!phone.Plug(Identity(station, number, product))) {
        std::fprintf(stderr, "fendrel-sim: %s\n", phone.error().c_str());
        return false;
    }
    PrintPhone(phone, number);
    return true;
}

// One command line from standard input; false for "quit".
bool Command(Station& station, const std::string& line) {
    std::istringstream words(line);
    std::string verb, mode;
    int number = 0;
    words >> verb;
    if (verb.empty())
        return true;
    if (verb == "quit")
        return false;
    if (verb == "list") {
        for (std::size_t i = 0; i < station.phones.size(); ++i)
            PrintPhone(*station.phones[i], static_cast<int>(i) + 1);
        return true;
    }
    words >> number >> mode;
    const bool known = number >= 1 && number <= static_cast<int>(station.phones.size());
    if (verb == "unplug" && known) {
        station.phones[static_cast<std::size_t>(number - 1)]->Unplug();
        std::printf("phone %d unplugged\n", number);
    } else if (verb == "plug" && known && ParseMode(mode)) {
        Plug(station, number, *ParseMode(mode));
    } else {
        std::fprintf(stderr, "fendrel-sim: commands: unplug N, plug N MODE, list, quit\n");
    }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: fendrel-sim --dir DIR [normal|download|disk ...]\n"
                 "       fendrel-sim --dir DIR --phones N\n");
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    Station station;
    std::vector<std::uint16_t> modes;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--dir" && i + 1 < argc) {
            station.folder = argv[++i];
        } else if (argument == "--phones" && i + 1 < argc) {
            const int count = std::atoi(argv[++i]);
            if (count < 1 || count > kMaxPhones)
                return Usage();
            modes.assign(static_cast<std::size_t>(count), sim::kNormalModeProduct);
        } else if (const auto mode = ParseMode(argument)) {
            modes.push_back(*mode);
        } else {
            return Usage();
        }
    }
    if (station.folder.empty() || modes.empty() || modes.size() > kMaxPhones)
        return Usage();

    // Signals are taken as events beside standard input, so the way out is the same for all.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);  // before the phones' threads start
    const int signals = signalfd(-1, &stop_signals, SFD_CLOEXEC);

    std::error_code failure;
    std::filesystem::create_directories(station.folder + "/disks", failure);
    if (failure || signals < 0) {
        std::fprintf(stderr, "fendrel-sim: cannot set up %s\n", station.folder.c_str());
        return 1;
    }
    station.tree = std::make_unique<sim::FakeDeviceTree>(station.folder + "/sys");
    std::printf("FENDREL_SYSFS_ROOT=%s\n", station.tree->root().c_str());
    for (std::size_t i = 0; i < modes.size(); ++i) {
        station.phones.push_back(std::make_unique<sim::SimulatedPhone>(
            *station.tree, "1-" + std::to_string(i + 1), nullptr));
        if (!Plug(station, static_cast<int>(i) + 1, modes[i]))
            return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    bool input_open = true;
    std::string pending;
    while (true) {
        pollfd watched[2] = {{signals, POLLIN, 0}, {input_open ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0)
            continue;
        if (watched[0].revents & POLLIN)
            break;
        if (watched[1].revents & (POLLIN | POLLHUP)) {
            char chunk[512];
            const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
            if (got <= 0) {
                input_open = false;  // run on until a signal
                continue;
            }
            pending.append(chunk, static_cast<std::size_t>(got));
            std::size_t end;
            bool go_on = true;
            while (go_on && (end = pending.find('\n')) != std::string::npos) {
                go_on = Command(station, pending.substr(0, end));
                pending.erase(0, end + 1);
            }
            std::fflush(stdout);
            if (!go_on)
                break;
        }
    }
    station.phones.clear();  // unplugs every phone
    return 0;
}
