// fendrel-cli flash [OPTIONS] PORT...|all: upgrades phones the way the download pages do — one
// worker per port, each on its own thread, running the whole sequence of its port kind (detect,
// image checks, NV backup, download mode, the images) — and prints every worker's texts with
// its progress, then the verdicts. With --json the run goes to standard output as JSON Lines
// (cli/flash_events.h) and the human lines to standard error. Exit status 0 when every port
// succeeded, 1 when any failed or none was found, 2 on a bad command line. Ctrl-C stops every
// worker as a row's Stop button does. Every port's verdict is recorded in the station's result
// history (history/result_history.h); a history that cannot be written is said on standard error
// and changes neither the run nor its exit status.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/ini_file.h"
#include "cli/commands_list.h"
#include "cli/flash_console.h"
#include "cli/interrupt.h"
#include "cli/port_list.h"
#include "engine/download_thread.h"
#include "engine/nv_backup.h"
#include "engine/raw_disk_route.h"
#include "engine/station_services.h"
#include "history/image_set_digest.h"
#include "history/result_history.h"
#include "platform/ascii.h"
#include "platform/host_name.h"
#include "platform/paths.h"
#include "ports/port_scanner.h"

namespace fendrel::cli {
namespace {

constexpr int kDefaultBaudRate = 115200;
// The pages start their workers at the highest priority.
constexpr int kWorkerPriority = 2;

struct FlashOptions {
    DOWNLOAD_PARAM params;
    std::vector<std::string> ports;  // empty: every listed port
    bool json = false;
};

bool ParseOptions(std::span<char* const> arguments, FlashOptions& options) {
    DOWNLOAD_PARAM& params = options.params;
    params.baud_rate = kDefaultBaudRate;
    params.flash_type = "MULTI";
    params.image_folder = platform::CurrentDirectory().value_or("");
    bool all = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string argument = arguments[i];
        const bool has_value = i + 1 < arguments.size();
        if (argument == "--folder" && has_value) {
            params.image_folder = arguments[++i];
        } else if (argument == "--type" && has_value) {
            params.flash_type = arguments[++i];
        } else if (argument == "--app" && has_value) {
            params.app_path = arguments[++i];
        } else if (argument == "--boot" && has_value) {
            params.boot_path = arguments[++i];
        } else if (argument == "--baud" && has_value) {
            params.baud_rate = std::atoi(arguments[++i]);
        } else if (argument == "--esn") {
            params.backup_esn = 1;
        } else if (argument == "--rf") {
            params.backup_rf = 1;
        } else if (argument == "--checksum") {
            params.check_sum = 1;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "all") {
            all = true;
        } else if (!argument.starts_with("--")) {
            options.ports.push_back(argument);
        } else {
            return false;
        }
    }
    if (!params.image_folder.empty() && params.image_folder.back() != platform::kPathSeparator)
        params.image_folder += platform::kPathSeparator;
    // The raw-disk route runs in the version folder, and the flash-download plugins look for the
    // image set there; for "MULTI" a run finds it in the image folder, for the other types it is
    // the image folder itself.
    params.version_folder = params.image_folder;
    return all != !options.ports.empty() && params.baud_rate > 0;
}

// The listed ports the command line names, in list order; false (with a message) when a named
// port is not listed.
bool SelectPorts(const CPortScanner& scanner, const std::vector<std::string>& names,
                 std::vector<PORT_RECORD>& selected) {
    std::set<std::string> missing(names.begin(), names.end());
    for (int i = 0; i < scanner.GetPortCount(); ++i) {
        const PORT_RECORD port = scanner.GetPort(i);
        bool wanted = names.empty();
        for (const std::string& name : names) {
            if (platform::EqualsIgnoringAsciiCase(name, port.port_name)) {
                wanted = true;
                missing.erase(name);
            }
        }
        if (wanted)
            selected.push_back(port);
    }
    for (const std::string& name : missing)
        std::fprintf(stderr, "fendrel-cli flash: no listed port is named %s\n", name.c_str());
    return missing.empty();
}

// The station's history, or null after saying why on standard error.
std::unique_ptr<history::ResultHistory> OpenHistory() {
    std::string error;
    auto opened = history::OpenResultHistory(history::StationHistoryPath(), true, error);
    if (opened == nullptr)
        std::fprintf(stderr, "fendrel-cli flash: the verdicts will not be recorded: %s\n",
                     error.c_str());
    return opened;
}

history::RunFacts FactsOf(const DOWNLOAD_PARAM& params) {
    std::string error;
    history::RunFacts facts{
        platform::HostName(),
        history::ImageSetDigest(params.image_folder, {params.app_path, params.boot_path}, error)};
    if (!error.empty())
        std::fprintf(stderr, "fendrel-cli flash: the history rows get no image digest: %s\n",
                     error.c_str());
    return facts;
}

int Run(std::span<char* const> arguments) {
    FlashOptions options;
    if (!ParseOptions(arguments, options))
        return UsageError(FlashCommand());
    if (!ConfigurationAccepted())
        return 1;

    StationServices services;
    if (!PortsCanBeScanned(services.devices(), "flash"))
        return 1;
    CPortScanner scanner(services.devices(), ConfigFilePath());
    scanner.Scan();
    std::vector<PORT_RECORD> ports;
    if (!SelectPorts(scanner, options.ports, ports))
        return 1;
    if (ports.empty()) {
        std::fprintf(stderr, "fendrel-cli flash: no phone port is listed\n");
        return 1;
    }

    const std::unique_ptr<history::ResultHistory> results = OpenHistory();
    const history::RunFacts facts = FactsOf(options.params);
    NvBackup nv_backup;
    RawDiskRoute raw_disk;
    const WorkerServices worker_services = services.ForWorkers(nv_backup, raw_disk);
    std::vector<std::unique_ptr<CDownloadThread>> workers;
    const FlashEvents events(stdout);
    FlashConsole console(workers, options.json ? &events : nullptr);
    for (const PORT_RECORD& port : ports) {
        workers.push_back(std::make_unique<CDownloadThread>(
            port.port_name, port.port_type, port.port_kind, &console, worker_services));
    }
    console.Begin(results.get(), facts);
    platform::ManualResetEvent interrupted;
    const InterruptGuard guard(interrupted);
    for (const auto& worker : workers) {
        worker->SetParams(options.params);
        worker->Start();
        worker->SetPriority(kWorkerPriority);
    }

    bool stopped = false;
    console.ShowUntilAllEnded(
        [&workers] {
            bool any_running = false;
            for (const auto& worker : workers)
                any_running = any_running || worker->IsRunning();
            return any_running;
        },
        [&] {
            if (!stopped && interrupted.IsSet()) {
                for (const auto& worker : workers)
                    worker->Stop();
                stopped = true;
            }
        });
    const bool all_succeeded = console.Verdicts();
    workers.clear();  // every thread has ended; nothing posts to the console any more
    return all_succeeded ? 0 : 1;
}

}  // namespace

Command FlashCommand() {
    return {"flash",
            "[--folder DIR] [--type MULTI|EMMC|NOR] [--app FILE] [--boot FILE]\n"
            "[--esn] [--rf] [--checksum] [--baud N] [--json] PORT...|all",
            "upgrade the phones on the ports as the download pages do, one worker per port", Run};
}

}  // namespace fendrel::cli
