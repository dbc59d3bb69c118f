// fendrel-sim: simulated phones on pseudo-terminals, in a fake device tree, until stopped.
//
//   fendrel-sim --dir DIR [--esn HEX] [--nv ITEMS] [--disk-mib N] MODE[:FAMILY]...
//   fendrel-sim --dir DIR [--esn HEX] [--nv ITEMS] [--disk-mib N] --phones N
//   fendrel-sim --help                 (or -h) the usage on standard output, exit 0
//   fendrel-sim --version              the version on standard output, exit 0
//
// MODE is normal (9025), download (9008) or disk (9006); --phones N plugs N phones in normal
// mode. FAMILY is the phone's flash family (sim/phones/flash_family.h), what it speaks in download
// mode; without one it speaks DMSS download. Phone n sits at USB place 1-n and has the ESN
// HEX + n - 1 (default 8A3C05F1); ITEMS are the NV items every phone holds, a list of numbers and
// ranges ("1-200,550,1943"; default 1-300), each filled with a pattern of its number. The device
// tree is written to DIR/sys (point FENDREL_SYSFS_ROOT there); phone n's flash is the disk image
// DIR/disks/phoneN.img of N MiB (default 64), kept when it exists; a nand phone's images are kept
// in DIR/nand/phoneN/, a nor phone's flash in DIR/nor/phoneN.img.
//
// Once every phone is plugged the program prints "ready"; then it reads commands from standard
// input and runs until "quit", SIGINT or SIGTERM, unplugging every phone on the way out:
//   unplug N | plug N MODE | list | quit      (a phone keeps its family)
//   esn N HEX                          the ESN phone N reports from now on
//   fault N KIND [CODE] [DELAY_MS]     a fault from the next request on, for every command (CODE
//                                      all, or none given) or only for command CODE (hex), the
//                                      answer held back DELAY_MS for a delay; KIND is none, silent,
//                                      bad-crc, nak, delay, unplug-mid-reply, stay-online or
//                                      switch-error (see sim/phones/phone_faults.h); or a fault
//                                      of the phone's disk, read-only-disk or unplug-mid-write
//                                      (see sim/phones/simulated_phone.h)
// The phones speak DIAG in normal and disk mode, and in download mode what their family speaks.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"
#include "version/version_option.h"

namespace {

constexpr int kMaxPhones = 64;
constexpr int kUsageError = 2;
constexpr int kHelpShown = 0;
// A disk image's size, in MiB: at least a GPT's worth, at most what a test machine should hold.
constexpr unsigned long kMaxDiskMib = 64 * 1024;
constexpr std::uint32_t kDefaultEsn = 0x8A3C05F1;
constexpr const char* kDefaultNvItems = "1-300";

struct PhoneSpec {
    std::uint16_t product = sim::kNormalModeProduct;
    const sim::FlashFamily* family = nullptr;  // none: DMSS download
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

// "MODE" or "MODE:FAMILY".
std::optional<PhoneSpec> ParsePhone(const std::string& text) {
    const std::size_t colon = text.find(':');
    const auto product = ParseMode(text.substr(0, colon));
    if (!product)
        return std::nullopt;
    if (colon == std::string::npos)
        return PhoneSpec{*product, nullptr};
    const sim::FlashFamily* family = sim::FindFlashFamily(text.substr(colon + 1));
    if (family == nullptr)
        return std::nullopt;
    return PhoneSpec{*product, family};
}

// A whole number in `base` between 0 and `limit`, or none.
std::optional<unsigned long> ParseNumber(const std::string& text, int base, unsigned long limit) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, base);
    if (*end != '\0' || value > limit || text[0] == '-')
        return std::nullopt;
    return value;
}

// "1-200,550": the item numbers, or none when the list does not read so.
std::optional<std::vector<std::uint16_t>> ParseItems(const std::string& list) {
    std::vector<std::uint16_t> items;
    std::istringstream pieces(list);
    std::string piece;
    while (std::getline(pieces, piece, ',')) {
        const std::size_t dash = piece.find('-');
        const auto first = ParseNumber(piece.substr(0, dash), 10, 0xFFFF);
        const auto last =
            dash == std::string::npos ? first : ParseNumber(piece.substr(dash + 1), 10, 0xFFFF);
        if (!first || !last || *last < *first)
            return std::nullopt;
        for (unsigned long item = *first; item <= *last; ++item)
            items.push_back(static_cast<std::uint16_t>(item));
    }
    return items;
}

void PrintPhone(sim::PhoneStation& station, int number) {
    sim::SimulatedPhone& phone = station.phone(number);
    if (!phone.is_plugged()) {
        std::printf("phone %d at USB %s: unplugged\n", number, phone.usb_path().c_str());
        return;
    }
    std::printf("phone %d at USB %s:", number, phone.usb_path().c_str());
    for (const sim::PluggedNode& node : phone.Nodes())
        std::printf(" %s=%s", node.kernel_name.c_str(), node.node.c_str());
    std::printf("\n");
}

bool Plug(sim::PhoneStation& station, int number, std::uint16_t product) {
    if (!station.Plug(number, product)) {
        std::fprintf(stderr, "fendrel-sim: %s\n", station.error().c_str());
        return false;
    }
    PrintPhone(station, number);
    return true;
}

// "fault N KIND [CODE] [DELAY_MS]" after the phone number; false when it does not read so. A
// fault of the phone's disk takes no code or delay; "none" takes back both kinds.
bool SetFault(sim::PhoneStation& station, int number, std::istringstream& words) {
    std::string kind, code, delay;
    words >> kind >> code >> delay;
    if (const auto disk = sim::ParseDiskFault(kind); disk && code.empty()) {
        if (station.phone(number).SetDiskFault(*disk))
            return true;
        std::fprintf(stderr, "fendrel-sim: %s\n", station.phone(number).error().c_str());
        return false;
    }
    sim::TalkingPhone& phone = station.talk(number);
    const auto fault = sim::ParseFault(kind);
    const bool every = code.empty() || code == "all";
    const auto command = every ? std::optional<unsigned long>() : ParseNumber(code, 16, 0xFF);
    const auto delay_ms =
        delay.empty() ? std::optional<unsigned long>() : ParseNumber(delay, 10, 3600000);
    if (!fault || (!every && !command) || (!delay.empty() && !delay_ms))
        return false;
    if (*fault == sim::PhoneFault::kNone)
        station.phone(number).SetDiskFault(sim::DiskFault::kNone);
    phone.SetFault(
        *fault,
        command ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*command)) : std::nullopt,
        delay_ms ? platform::Milliseconds(*delay_ms) : sim::TalkingPhone::kDefaultDelay);
    return true;
}

// One command line from standard input; false for "quit".
bool Command(sim::PhoneStation& station, const std::string& line) {
    std::istringstream words(line);
    std::string verb, argument;
    int number = 0;
    words >> verb;
    if (verb.empty())
        return true;
    if (verb == "quit")
        return false;
    if (verb == "list") {
        for (int n = 1; n <= station.size(); ++n)
            PrintPhone(station, n);
        return true;
    }
    words >> number;
    const bool known = number >= 1 && number <= station.size();
    bool understood = known;
    if (known && verb == "unplug") {
        station.phone(number).Unplug();
        std::printf("phone %d unplugged\n", number);
    } else if (known && verb == "plug" && (words >> argument) && ParseMode(argument)) {
        Plug(station, number, *ParseMode(argument));
    } else if (known && verb == "esn" && (words >> argument) &&
               ParseNumber(argument, 16, 0xFFFFFFFF)) {
        station.talk(number).SetEsn(
            static_cast<std::uint32_t>(*ParseNumber(argument, 16, 0xFFFFFFFF)));
        std::printf("phone %d ESN %s\n", number, argument.c_str());
    } else if (known && verb == "fault" && SetFault(station, number, words)) {
        std::printf("phone %d fault set\n", number);
    } else {
        understood = false;
    }
    if (!understood) {
        std::fprintf(stderr,
                     "fendrel-sim: commands: unplug N, plug N MODE, esn N HEX, "
                     "fault N KIND [CODE] [DELAY_MS], list, quit\n");
    }
    return true;
}

constexpr char kUsageLines[] =
    "usage: fendrel-sim --dir DIR [--esn HEX] [--nv ITEMS] [--disk-mib N] MODE[:FAMILY] ...\n"
    "       fendrel-sim --dir DIR [--esn HEX] [--nv ITEMS] [--disk-mib N] --phones N\n"
    "       fendrel-sim --help\n"
    "       fendrel-sim --version\n";

// The families a phone may be given, one line each.
void PrintFamilies() {
    for (const sim::FlashFamily& family : sim::FlashFamilies()) {
        std::printf("                  %-10.*s %.*s\n", static_cast<int>(family.name.size()),
                    family.name.data(), static_cast<int>(family.summary.size()),
                    family.summary.data());
    }
}

int Usage() {
    std::fputs(kUsageLines, stderr);
    return kUsageError;
}

int Help() {
    std::fputs(kUsageLines, stdout);
    std::fputs(
        "\n"
        "Plugs simulated phones into a device tree under DIR (point FENDREL_SYSFS_ROOT at\n"
        "DIR/sys), prints their ttys and 'ready', then takes commands on standard input\n"
        "until 'quit', SIGINT or SIGTERM.\n"
        "  MODE          normal (9025), download (9008) or disk (9006); --phones N plugs\n"
        "                N phones in normal mode\n"
        "  FAMILY        what the phone speaks in download mode (default DMSS download):\n",
        stdout);
    PrintFamilies();
    std::fputs(
        "  --esn HEX     phone n reports ESN HEX + n - 1 (default 8A3C05F1)\n"
        "  --nv ITEMS    the NV items every phone holds, e.g. 1-200,550 (default 1-300)\n"
        "  --disk-mib N  phone n's flash, DIR/disks/phoneN.img, holds N MiB (default 64)\n"
        "commands:\n"
        "  unplug N | plug N MODE | list | quit     (a phone keeps its family)\n"
        "  esn N HEX                       the ESN phone N reports from now on\n"
        "  fault N KIND [CODE] [DELAY_MS]  a fault from the next request on, for every\n"
        "                                  command or only command CODE (hex); KIND is\n"
        "                                  none, silent, bad-crc, nak, delay,\n"
        "                                  unplug-mid-reply, stay-online, switch-error;\n"
        "                                  for the firehose family also bad-digest,\n"
        "                                  unplug-mid-program, refuse-programmer, no-digest;\n"
        "                                  for nand and nor error-mid-write,\n"
        "                                  unplug-mid-stream; for nand table-differs;\n"
        "                                  nak 05 refuses a programmer's GO\n"
        "  fault N read-only-disk          phone N's disk is write-protected\n"
        "  fault N unplug-mid-write        phone N leaves the bus once its disk is opened\n"
        "                                  for writing\n",
        stdout);
    return kHelpShown;
}

}  // namespace

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, "fendrel-sim"))
        return 0;
    std::string folder;
    std::vector<PhoneSpec> phones;
    std::uint64_t disk_bytes = sim::PhoneStation::kDefaultDiskBytes;
    std::uint32_t esn = kDefaultEsn;
    std::vector<std::uint16_t> items = *ParseItems(kDefaultNvItems);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool has_value = i + 1 < argc;
        if (argument == "--help" || argument == "-h") {
            return Help();
        } else if (argument == "--dir" && has_value) {
            folder = argv[++i];
        } else if (argument == "--phones" && has_value) {
            const auto count = ParseNumber(argv[++i], 10, kMaxPhones);
            if (!count || *count < 1)
                return Usage();
            phones.assign(*count, PhoneSpec{});
        } else if (argument == "--esn" && has_value) {
            const auto value = ParseNumber(argv[++i], 16, 0xFFFFFFFF);
            if (!value)
                return Usage();
            esn = static_cast<std::uint32_t>(*value);
        } else if (argument == "--nv" && has_value) {
            const auto parsed = ParseItems(argv[++i]);
            if (!parsed)
                return Usage();
            items = *parsed;
        } else if (argument == "--disk-mib" && has_value) {
            const auto mib = ParseNumber(argv[++i], 10, kMaxDiskMib);
            if (!mib || *mib < 1)
                return Usage();
            disk_bytes = static_cast<std::uint64_t>(*mib) << 20;
        } else if (const auto phone = ParsePhone(argument)) {
            phones.push_back(*phone);
        } else {
            return Usage();
        }
    }
    if (folder.empty() || phones.empty() || phones.size() > kMaxPhones)
        return Usage();

    // Signals are taken as events beside standard input, so the way out is the same for all.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);  // before the phones' threads start
    const int signals = signalfd(-1, &stop_signals, SFD_CLOEXEC);
    if (signals < 0) {
        std::fprintf(stderr, "fendrel-sim: cannot set up %s\n", folder.c_str());
        return 1;
    }

    sim::PhoneStation station(folder, disk_bytes);
    std::printf("FENDREL_SYSFS_ROOT=%s\n", station.tree().root().c_str());
    for (std::size_t i = 0; i < phones.size(); ++i) {
        sim::PhoneProfile profile;
        profile.esn = static_cast<std::uint32_t>(esn + i);
        for (const std::uint16_t item : items)
            profile.nv_items[item] = sim::PatternNvData(item);
        const int number = station.AddPhone(std::move(profile), phones[i].family);
        if (!Plug(station, number, phones[i].product))
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
    return 0;  // the station unplugs every phone
}
