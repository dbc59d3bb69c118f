// Flashing a large image into the simulated device over loopback, Brenlo (through its export,
// as a caller loads it) against Debian's fastboot client, both timed in one run, in alternating
// rounds. Each run's partition is checked against the image.
//
//   bench_brenlo_flash [--mib N] [--rounds N]      (defaults: 256 MiB, 3 rounds)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "fastboot/brenlo.h"
#include "platform/dynamic_library.h"
#include "sim/fastboot/fastboot_device.h"

extern char** environ;

namespace {

using Seconds = std::chrono::duration<double>;

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(bytes.data() + i, &state, 8);
    }
    return bytes;
}

// Runs `arguments` as a child process; its exit status, or -1.
int Spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t mib = 256;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mib") == 0)
            mib = std::strtoul(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::atoi(argv[i + 1]);
    }
    if (mib == 0 || mib > 1024 || rounds <= 0) {
        std::fprintf(stderr, "usage: bench_brenlo_flash [--mib 1..1024] [--rounds N]\n");
        return 2;
    }

    platform::DynamicLibrary library;
    if (!library.Load("libbrenlo.so")) {
        std::fprintf(stderr, "cannot load libbrenlo.so: %s\n", library.error().c_str());
        return 1;
    }
    const auto brenlo = reinterpret_cast<bool (*)(const flash_request*)>(library.Symbol("Brenlo"));
    const bool have_client = std::system("command -v fastboot > /dev/null") == 0;

    char folder_template[] = "/tmp/brenlo-bench-XXXXXX";
    if (mkdtemp(folder_template) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folder_template;
    const std::string image_path = folder + "/boot.img";
    const std::string image = Pattern(mib * 1024 * 1024);
    std::ofstream(image_path, std::ios::binary).write(image.data(), image.size());

    fastboot_sim::DeviceOptions options;
    options.max_download_size = static_cast<std::uint32_t>(image.size());
    options.max_partition_size = image.size();
    fastboot_sim::FastbootDevice device(options);
    device.AddMemoryPartition("boot");
    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    flash_request request{};
    request.flash_boot = 1;
    request.boot_path = image_path;
    request.interface_name = device.interface_name();

    std::printf("%zu MiB image into the simulated device over loopback, %d rounds\n", mib, rounds);
    std::printf("%-7s %-12s %-12s\n", "round", "Brenlo",
                have_client ? "fastboot" : "(no fastboot)");
    std::vector<double> ours, theirs;
    bool all_correct = true;
    for (int round = 1; round <= rounds; ++round) {
        auto started = std::chrono::steady_clock::now();
        const bool flashed = brenlo(&request);
        ours.push_back(Seconds(std::chrono::steady_clock::now() - started).count());
        all_correct &= flashed && device.PartitionContents("boot") == image;

        double client = 0;
        if (have_client) {
            started = std::chrono::steady_clock::now();
            const int status =
                Spawn({"fastboot", "-s", device.interface_name(), "flash", "boot", image_path});
            client = Seconds(std::chrono::steady_clock::now() - started).count();
            theirs.push_back(client);
            all_correct &= status == 0 && device.PartitionContents("boot") == image;
        }
        std::printf("%-7d %-12.3f %-12.3f\n", round, ours.back(), client);
    }
    std::printf("median  %-12.3f", fendrel::bench::Median(ours));
    if (have_client)
        std::printf(" %-12.3f Brenlo / fastboot = %.2f", fendrel::bench::Median(theirs),
                    fendrel::bench::Median(ours) / fendrel::bench::Median(theirs));
    std::printf("\n%s\n", all_correct ? "every run left the partition equal to the image"
                                      : "A RUN FAILED OR LEFT THE PARTITION WRONG");
    std::filesystem::remove_all(folder);
    return all_correct ? 0 : 1;
}
