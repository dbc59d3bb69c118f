// 1, 8 and 32 simulated firehose phones written end to end at once by the station: fendrel-cli
// flash, one worker per port, every phone from the same 16 MiB image set (Sahara upload,
// Firehose with every region verified by the phone's digest, patches, restart). For each count
// the wall time of the run, the station's CPU time (fendrel-cli and what it starts) and the CPU
// time of the simulated phones (this process), the median of three runs each; every phone's
// disk is then compared with what the image set must leave there. The last line is the ratio
// of the 32-phone wall time to the 1-phone one: 1.0 would mean 32 phones cost no more time than
// one. The phones and the station share this machine's cores, so a ratio above that is bounded by
// the CPU when the run keeps every core busy (CPU time / wall time near the number of cores).
//
// usage: parallel_phones_bench [FOLDER]   (work files go there, default the temp folder)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/imageset/image_set.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"

extern char** environ;

namespace {

constexpr std::uint64_t kDataBytes = 16 << 20;
constexpr std::uint64_t kDiskBytes = 24 << 20;
constexpr int kRounds = 3;
constexpr int kPhoneCounts[] = {1, 8, 32};

struct Figures {
    double wall = 0;         // seconds
    double station_cpu = 0;  // user + system, fendrel-cli and its children
    double phones_cpu = 0;   // user + system, this process: the simulated phones
};

double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

double CpuOf(const rusage& usage) {
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// One run: `count` phones plugged in download mode, fendrel-cli flash on all of them. False
// when the run or a phone's disk is not as it must be.
bool Run(const std::string& folder, int count, const std::string& set, const std::string& expected,
         Figures& figures) {
    std::filesystem::remove_all(folder + "/station");
    sim::PhoneStation station(folder + "/station", kDiskBytes);
    for (int i = 0; i < count; ++i) {
        station.AddPhone({}, sim::FindFlashFamily("firehose"));
        if (!station.Plug(i + 1, sim::kDownloadModeProduct)) {
            std::fprintf(stderr, "phone %d: %s\n", i + 1, station.error().c_str());
            return false;
        }
    }
    const std::string sysfs = "FENDREL_SYSFS_ROOT=" + folder + "/station/sys";
    const std::string registry = "FENDREL_REGISTRY_DIR=" + folder + "/registry";
    std::vector<std::string> environment = {sysfs, registry};
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        if (!entry.starts_with("FENDREL_SYSFS_ROOT=") &&
            !entry.starts_with("FENDREL_REGISTRY_DIR="))
            environment.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = {FENDREL_CLI_PATH, "flash", "--folder", set, "all"};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (folder + "/run.log").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    rusage self_before{};
    getrusage(RUSAGE_SELF, &self_before);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return false;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage station_usage{};
    wait4(pid, &status, 0, &station_usage);
    figures.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage self_after{};
    getrusage(RUSAGE_SELF, &self_after);
    figures.station_cpu = CpuOf(station_usage);
    figures.phones_cpu = CpuOf(self_after) - CpuOf(self_before);

    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%d phones: the run failed (see %s/run.log)\n", count, folder.c_str());
        return false;
    }
    const std::string wanted = ReadAll(expected);
    for (int i = 1; i <= count; ++i) {
        if (ReadAll(station.DiskImage(i)) != wanted) {
            std::fprintf(stderr, "%d phones: phone %d's disk is not the image set\n", count, i);
            return false;
        }
    }
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string folder = (base / "fendrel-parallel-phones-bench").string();
    std::filesystem::remove_all(folder);
    sim::ImageSetOptions options;
    options.folder = folder + "/set";
    options.disk_bytes = kDiskBytes;
    options.data_bytes = kDataBytes;
    std::string error;
    const std::string expected = folder + "/expected.img";
    if (!sim::MakeImageSet(options, error) || !sim::WriteExpectedDisk(options, expected, error)) {
        std::fprintf(stderr, "cannot make the image set: %s\n", error.c_str());
        return 1;
    }
    std::printf("%ld cores; each phone gets %llu MiB; median of %d runs\n",
                sysconf(_SC_NPROCESSORS_ONLN), static_cast<unsigned long long>(kDataBytes >> 20),
                kRounds);
    std::printf("%6s %9s %12s %12s %10s\n", "phones", "wall s", "station CPU", "phones CPU",
                "CPU/wall");
    double one_phone = 0;
    double last = 0;
    for (const int count : kPhoneCounts) {
        std::vector<double> wall, station, phones;
        for (int round = 0; round < kRounds; ++round) {
            Figures figures;
            if (!Run(folder, count, options.folder, expected, figures))
                return 1;
            wall.push_back(figures.wall);
            station.push_back(figures.station_cpu);
            phones.push_back(figures.phones_cpu);
        }
        const double w = Median(wall);
        const double cpu = Median(station) + Median(phones);
        std::printf("%6d %9.2f %12.2f %12.2f %10.2f\n", count, w, Median(station), Median(phones),
                    cpu / w);
        std::fflush(stdout);
        if (count == 1)
            one_phone = w;
        last = w;
    }
    std::filesystem::remove_all(folder);
    std::printf("32-to-1 wall ratio: %.2f\n", last / one_phone);
    return 0;
}
