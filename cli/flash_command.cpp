// fendrel-cli flash [OPTIONS] PORT...|all: upgrades phones the way the download pages do — one
// worker per port, each on its own thread, running the whole sequence of its port kind (detect,
// image checks, NV backup, download mode, the images) — and prints every worker's texts with
// its progress, then the verdicts. Exit status 0 when every port succeeded, 1 when any failed or
// none was found, 2 on a bad command line. Ctrl-C stops every worker as a row's Stop button does.
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/ini_file.h"
#include "app/text_lookup.h"
#include "cli/commands_list.h"
#include "cli/interrupt.h"
#include "cli/port_list.h"
#include "engine/download_thread.h"
#include "engine/nv_backup.h"
#include "engine/raw_disk_route.h"
#include "engine/station_services.h"
#include "engine/worker_messages.h"
#include "platform/ascii.h"
#include "platform/paths.h"
#include "ports/port_scanner.h"

namespace fendrel::cli {
namespace {

constexpr int kDefaultBaudRate = 115200;
// The pages start their workers at the highest priority.
constexpr int kWorkerPriority = 2;
// How often the console looks at Ctrl-C and the workers while no message arrives.
constexpr platform::Milliseconds kPollInterval{100};
// A progress line is printed each time a port's percentage passes another step of this size.
constexpr int kProgressStep = 10;

constexpr char kUsage[] =
    "usage: fendrel-cli flash [--folder DIR] [--type MULTI|EMMC|NOR] [--app FILE] [--boot FILE]\n"
    "                         [--esn] [--rf] [--checksum] [--baud N] PORT...|all\n";

struct FlashOptions {
    DOWNLOAD_PARAM params;
    std::vector<std::string> ports;  // empty: every listed port
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
    // The raw-disk route runs in the version folder; for "MULTI" a run finds it in the image
    // folder, for the other types it is the image folder itself.
    params.version_folder = params.image_folder;
    return all != !options.ports.empty() && params.baud_rate > 0;
}

// What the console shows of the workers, as a download page does with its rows. The workers post
// from their own threads; each post is queued with the status text the worker holds at that
// moment (the text a page reads when the message arrives) and printed on the console's thread.
class Console final : public platform::Notifier {
  public:
    // `workers` is filled (with this console as their notifier) before Begin and must not
    // change after it.
    explicit Console(const std::vector<std::unique_ptr<CDownloadThread>>& workers)
        : workers_(workers) {}

    // Takes the rows from the workers, before any of them starts.
    void Begin() {
        for (const auto& worker : workers_)
            names_.push_back(worker->port_name());
        percent_.assign(workers_.size(), 0);
        succeeded_.assign(workers_.size(), false);
    }

    void Post(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam) override {
        const int row = RowOf(wparam);
        Event event{message, wparam, lparam, row, {}};
        const WorkerMessageIds& ids = WorkerMessages();
        if (row >= 0 && (message == ids.status || message == ids.error || message == ids.progress))
            event.status = workers_[row]->status_text();
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        arrived_.notify_one();
    }

    // Prints the next message; false when `timeout` passed without one.
    bool ShowNext(platform::Milliseconds timeout) {
        Event event;
        {
            std::unique_lock lock(mutex_);
            if (!arrived_.wait_for(lock, timeout, [this] { return !events_.empty(); }))
                return false;
            event = std::move(events_.front());
            events_.pop_front();
        }
        Show(event);
        return true;
    }

    // One verdict line per port; true when every one succeeded.
    bool Verdicts() const {
        bool all = true;
        for (std::size_t row = 0; row < names_.size(); ++row) {
            std::printf("%s: %s\n", names_[row].c_str(),
                        GetText(succeeded_[row] ? text::kDownloadSuccessfully : text::kDownloadFail)
                            .c_str());
            all = all && succeeded_[row];
        }
        return all;
    }

  private:
    struct Event {
        platform::MessageId message;
        std::uintptr_t port_number;
        std::intptr_t lparam;
        int row;
        std::string status;
    };

    // The row of the worker whose current port carries `port_number` (a worker that found its
    // phone again under another port posts with the new number), or -1.
    int RowOf(std::uintptr_t port_number) const {
        for (std::size_t row = 0; row < workers_.size(); ++row) {
            if (PortNumberOf(workers_[row]->port_name()) == port_number)
                return static_cast<int>(row);
        }
        return -1;
    }

    void Show(const Event& event) {
        const WorkerMessageIds& ids = WorkerMessages();
        const std::string port =
            event.row >= 0 ? names_[event.row] : "COM" + std::to_string(event.port_number);
        if (event.message == ids.status) {
            Print(port, event.row, event.status);
        } else if (event.message == ids.error) {
            Print(port, event.row, "ERROR: " + event.status);
        } else if (event.message == ids.success) {
            if (event.row >= 0)
                succeeded_[event.row] = true;
            Print(port, event.row, GetText(text::kDownloadSuccessfully));
        } else if (event.message == ids.wait) {
            Print(port, event.row, "backing up NV items (Ctrl-C stops)");
        } else if (event.message == ids.progress && event.row >= 0) {
            const int before = percent_[event.row];
            percent_[event.row] = static_cast<int>(event.lparam);
            if (percent_[event.row] / kProgressStep != before / kProgressStep)
                Print(port, event.row, event.status);
        }
    }

    void Print(const std::string& port, int row, const std::string& text) const {
        const int percent = row >= 0 ? percent_[row] : 0;
        const std::size_t filled = static_cast<std::size_t>(percent * 2 / kProgressStep);
        std::string bar(kProgressStep * 2, '-');
        bar.replace(0, filled, filled, '#');
        std::printf("%-6s [%s] %3d%%  %s\n", port.c_str(), bar.c_str(), percent, text.c_str());
        std::fflush(stdout);
    }

    const std::vector<std::unique_ptr<CDownloadThread>>& workers_;
    std::vector<std::string> names_;  // each row's port as listed
    std::vector<int> percent_;
    std::vector<bool> succeeded_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Event> events_;
};

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

int Run(std::span<char* const> arguments) {
    FlashOptions options;
    if (!ParseOptions(arguments, options)) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    if (!ConfigurationAccepted())
        return 1;

    StationServices services;
    CPortScanner scanner(services.devices(), ConfigFilePath());
    scanner.Scan();
    std::vector<PORT_RECORD> ports;
    if (!SelectPorts(scanner, options.ports, ports))
        return 1;
    if (ports.empty()) {
        std::fprintf(stderr, "fendrel-cli flash: no phone port is listed\n");
        return 1;
    }

    NvBackup nv_backup;
    RawDiskRoute raw_disk;
    const WorkerServices worker_services = services.ForWorkers(nv_backup, raw_disk);
    std::vector<std::unique_ptr<CDownloadThread>> workers;
    Console console(workers);
    for (const PORT_RECORD& port : ports) {
        workers.push_back(std::make_unique<CDownloadThread>(
            port.port_name, port.port_type, port.port_kind, &console, worker_services));
    }
    console.Begin();
    platform::ManualResetEvent interrupted;
    const InterruptGuard guard(interrupted);
    for (const auto& worker : workers) {
        worker->SetParams(options.params);
        worker->Start();
        worker->SetPriority(kWorkerPriority);
    }

    bool stopped = false;
    for (;;) {
        if (!stopped && interrupted.IsSet()) {
            for (const auto& worker : workers)
                worker->Stop();
            stopped = true;
        }
        if (console.ShowNext(kPollInterval))
            continue;
        bool any_running = false;
        for (const auto& worker : workers)
            any_running = any_running || worker->IsRunning();
        if (!any_running)
            break;
    }
    const bool all_succeeded = console.Verdicts();
    workers.clear();  // every thread has ended; nothing posts to the console any more
    return all_succeeded ? 0 : 1;
}

}  // namespace

Command FlashCommand() {
    return {"flash", "[OPTIONS] PORT...|all",
            "upgrade the phones on the ports as the download pages do, one worker per port", Run};
}

}  // namespace fendrel::cli
