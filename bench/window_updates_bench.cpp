// The multi-download page under a full station's updates: 32 rows, each receiving 20 progress
// and 20 status updates a second for 10 seconds, posted from threads of their own through the
// workers' own post calls, as running workers do. Measures the page thread's CPU time as a share
// of one core (goal: under 10 %) and the time from a post to the paint that shows it (median and
// 99th percentile). Offscreen unless a display is given (QT_QPA_PLATFORM=xcb under Xvfb).
//
//   build/bench/window_updates_bench [RUNS]   (default 3; the median of the runs is printed)
#include <time.h>

#include <QApplication>
#include <QPaintEvent>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/registry_keys.h"
#include "engine/nv_backup.h"
#include "engine/raw_disk_route.h"
#include "engine/station_services.h"
#include "engine/worker_messages.h"
#include "platform/paths.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"
#include "ui/choosers.h"
#include "ui/multi_download_page.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRows = 32;
constexpr int kUpdatesPerSecond = 20;
constexpr std::chrono::seconds kLength{10};

long long Nanoseconds(Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// At each paint of the list, the rows whose progress cell it covers have been shown: their
// oldest unshown post's latency is taken.
class PaintWatch final : public QObject {
  public:
    PaintWatch(fendrel::ui::CPortListCtrl& list, std::atomic<long long>* pending)
        : list_(list), pending_(pending) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        const QRegion region = static_cast<QPaintEvent*>(event)->region();
        const long long now = Nanoseconds(Clock::now());
        for (int row = 0; row < kRows; ++row) {
            if (!region.intersects(list_.GetCellRect(row, 2)))
                continue;
            const long long posted = pending_[row].exchange(0);
            if (posted != 0)
                latencies.push_back(static_cast<double>(now - posted) / 1e6);
        }
        return false;
    }
    std::vector<double> latencies;  // milliseconds

  private:
    fendrel::ui::CPortListCtrl& list_;
    std::atomic<long long>* pending_;
};

struct Figures {
    double cpu_share;
    double median_ms;
    double p99_ms;
};

double Percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

Figures Run(const std::string& folder) {
    std::filesystem::remove_all(folder);
    sim::PhoneStation station(folder + "/station", 1 << 20);
    for (int i = 0; i < kRows; ++i) {
        const int phone = station.AddPhone();
        if (!station.Plug(phone, sim::kDownloadModeProduct)) {
            std::fprintf(stderr, "cannot plug a phone: %s\n", station.error().c_str());
            std::exit(1);
        }
    }
    const platform::SettingsStore settings(folder + "/registry");
    for (const std::string_view key : fendrel::registry::kProgramKeys)
        settings.CreateKey(platform::Hive::kLocalMachine, key);
    const platform::DeviceEnumerator devices(station.tree().root(), settings);
    fendrel::StationServices services(platform::SystemClock(), devices);
    fendrel::NvBackup nv_backup;
    fendrel::RawDiskRoute raw_disk;
    fendrel::ui::DialogChoosers choosers;
    const fendrel::ui::PageServices page_services{
        services.ForWorkers(nv_backup, raw_disk), devices, settings,
        platform::JoinPath(FENDREL_PROGRAM_DIR, "config.ini"), choosers};

    fendrel::ui::CMultiDownloadPage page(page_services);
    page.show();
    if (!QTest::qWaitForWindowExposed(&page) || page.port_list().GetItemCount() != kRows) {
        std::fprintf(stderr, "the page lists %d rows, not %d\n", page.port_list().GetItemCount(),
                     kRows);
        std::exit(1);
    }
    std::atomic<long long> pending[kRows] = {};
    PaintWatch watch(page.port_list(), pending);
    page.port_list().viewport()->installEventFilter(&watch);

    std::atomic<bool> running{true};
    std::vector<std::thread> posters;
    const auto period = std::chrono::microseconds(1000000 / kUpdatesPerSecond);
    for (int row = 0; row < kRows; ++row) {
        fendrel::CDownloadThread* worker = page.workers().at(row);
        posters.emplace_back([&, worker, row] {
            auto next = Clock::now() + period * row / kRows;  // spread over the period
            for (int n = 0; running; ++n) {
                std::this_thread::sleep_until(next);
                next += period;
                long long none = 0;
                pending[row].compare_exchange_strong(none, Nanoseconds(Clock::now()));
                worker->Post(fendrel::WorkerMessages().progress, n % 101);
                worker->ShowStatus("Downloading Amss file(0x" + std::to_string(n * 4096) +
                                   "/0x400000)...");
            }
        });
    }
    const double cpu_before = ThreadCpuSeconds();
    const auto start = Clock::now();
    QTimer::singleShot(kLength, QCoreApplication::instance(), &QCoreApplication::quit);
    QApplication::exec();
    const double cpu = ThreadCpuSeconds() - cpu_before;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    running = false;
    for (std::thread& poster : posters)
        poster.join();
    QCoreApplication::processEvents();
    page.port_list().viewport()->removeEventFilter(&watch);
    return {cpu / wall, Percentile(watch.latencies, 0.5), Percentile(watch.latencies, 0.99)};
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    platform::OverrideProgramDirectory(FENDREL_PROGRAM_DIR);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("window-bench-" + std::to_string(getpid())))
            .string();
    std::vector<double> shares, medians, p99s;
    for (int i = 0; i < runs; ++i) {
        const Figures figures = Run(folder);
        std::printf(
            "run %d: page thread %.1f %% of a core, post to paint median %.2f ms, "
            "99th percentile %.2f ms\n",
            i + 1, figures.cpu_share * 100, figures.median_ms, figures.p99_ms);
        shares.push_back(figures.cpu_share);
        medians.push_back(figures.median_ms);
        p99s.push_back(figures.p99_ms);
    }
    std::filesystem::remove_all(folder);
    std::printf(
        "%d rows x %d progress and status updates/s for %lld s, median of %d runs: page "
        "thread %.1f %% of a core (goal < 10 %%), post to paint median %.2f ms, 99th "
        "percentile %.2f ms\n",
        kRows, kUpdatesPerSecond, static_cast<long long>(kLength.count()), runs,
        Percentile(shares, 0.5) * 100, Percentile(medians, 0.5), Percentile(p99s, 0.5));
    return 0;
}
