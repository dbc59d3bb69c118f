// fendrel-fastboot-sim: a simulated phone in fastboot mode on 127.0.0.1, for trying Brenlo and
// the fastboot client without a phone. Prints where it listens, then its transcript, until
// interrupted.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/fastboot/fastboot_device.h"
#include "sim/fastboot/fault_option.h"
#include "version/version_option.h"

namespace {

constexpr const char* kDefaultPartitions[] = {"AMSS", "boot", "recovery", "system", "userdata"};

void Usage() {
    std::fprintf(stderr,
                 "usage: fendrel-fastboot-sim [--port N] [--max-download-size N]\n"
                 "                            [--partition NAME[=FILE]]... [--fault FAULT]...\n"
                 "                            [--quiet]\n"
                 "\n"
                 "  --port N                listen on 127.0.0.1:N (default: any free port)\n"
                 "  --max-download-size N   the size the device announces (default 0x10000000)\n"
                 "  --partition NAME[=FILE] a partition, in memory or in FILE (default: AMSS,\n"
                 "                          boot, recovery, system and userdata in memory)\n"
                 "  --quiet                 print no transcript\n"
                 "%s",
                 fastboot_sim::kFaultHelp);
}

}  // namespace

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, "fendrel-fastboot-sim"))
        return 0;
    fastboot_sim::DeviceOptions options;
    options.echo = stdout;
    std::vector<std::string> partitions;
    std::vector<fastboot_sim::Fault> faults;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const bool has_value = i + 1 < argc;
        std::uint32_t number = 0;
        std::string error;
        fastboot_sim::Fault fault{};
        if (option == "--port" && has_value &&
            fastboot_sim::ParseUnsignedOption(argv[i + 1], &number) && number <= 65535) {
            options.port = static_cast<std::uint16_t>(number);
            ++i;
        } else if (option == "--max-download-size" && has_value &&
                   fastboot_sim::ParseUnsignedOption(argv[i + 1], &number)) {
            options.max_download_size = number;
            ++i;
        } else if (option == "--partition" && has_value) {
            partitions.emplace_back(argv[++i]);
        } else if (option == "--fault" && has_value) {
            if (!fastboot_sim::ParseFaultOption(argv[++i], &fault, &error)) {
                std::fprintf(stderr, "fendrel-fastboot-sim: %s\n", error.c_str());
                return 2;
            }
            faults.push_back(fault);
        } else if (option == "--quiet") {
            options.echo = nullptr;
        } else if (option == "--help" || option == "-h") {
            Usage();
            return 0;
        } else {
            Usage();
            return 2;
        }
    }

    fastboot_sim::FastbootDevice device(options);
    if (partitions.empty())
        partitions.assign(std::begin(kDefaultPartitions), std::end(kDefaultPartitions));
    for (const std::string& partition : partitions) {
        const std::size_t equals = partition.find('=');
        std::string error;
        if (equals == std::string::npos) {
            device.AddMemoryPartition(partition);
        } else if (!device.AddFilePartition(partition.substr(0, equals),
                                            partition.substr(equals + 1), &error)) {
            std::fprintf(stderr, "fendrel-fastboot-sim: %s\n", error.c_str());
            return 1;
        }
    }
    for (fastboot_sim::Fault& fault : faults)
        device.AddFault(std::move(fault));

    // The signals are taken by sigwait below rather than ending the process.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "fendrel-fastboot-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s\n", device.interface_name().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    device.Stop();
    return 0;
}
