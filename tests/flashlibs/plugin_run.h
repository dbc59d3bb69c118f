// The integration tests of the plugins: workers with the product's channels, serial links and
// plugin loader (the plugins built beside the program) run against simulated phones over
// pseudo-terminals; their posts are read as the lines a page would show.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/download_thread.h"
#include "engine/flash_library.h"
#include "engine/station_services.h"
#include "engine/worker_messages.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"
#include "tests/engine/worker_doubles.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace fendrel::testing {

using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

// A worker's posts as a page sees them (with the status text at the time), from any thread.
class Page final : public platform::Notifier {
  public:
    void Post(platform::MessageId message, std::uintptr_t, std::intptr_t lparam) override {
        const WorkerMessageIds& ids = WorkerMessages();
        std::string line;
        if (message == ids.status || message == ids.error)
            line = (message == ids.status ? "STATUS " : "ERROR ") + worker->status_text();
        else if (message == ids.progress)
            line = "PROGRESS " + std::to_string(lparam);
        else if (message == ids.success)
            line = "SUCCESS";
        else if (message == ids.end)
            line = "END";
        else if (message == ids.start)
            line = "START";
        else
            return;
        const std::lock_guard lock(mutex_);
        lines_.push_back(line);
        if (line == "END")
            ended_at_ = Clock::now();
        changed_.notify_all();
    }

    Lines lines() const {
        const std::lock_guard lock(mutex_);
        return lines_;
    }
    // Waits for a line for which `wanted` holds; false after `limit`.
    bool WaitFor(const std::function<bool(const std::string&)>& wanted,
                 std::chrono::seconds limit = std::chrono::seconds(120)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit,
                                 [&] { return std::any_of(lines_.begin(), lines_.end(), wanted); });
    }
    Clock::time_point ended_at() const {
        const std::lock_guard lock(mutex_);
        return ended_at_;
    }
    std::vector<int> Progress() const {
        std::vector<int> values;
        for (const std::string& line : lines()) {
            if (line.starts_with("PROGRESS "))
                values.push_back(std::stoi(line.substr(9)));
        }
        return values;
    }

    const CDownloadThread* worker = nullptr;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Lines lines_;
    Clock::time_point ended_at_{};
};

inline std::string Hex(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// The lines without progress.
inline Lines Texts(const Lines& lines) {
    Lines texts;
    for (const std::string& line : lines) {
        if (!line.starts_with("PROGRESS"))
            texts.push_back(line);
    }
    return texts;
}

// A station of simulated phones and the workers that run against them.
class PluginRun : public ::testing::Test {
  protected:
    explicit PluginRun(std::uint64_t disk_bytes = sim::PhoneStation::kDefaultDiskBytes)
        : station(dir.File("station"), disk_bytes) {}

    void SetUp() override {
        platform::OverrideProgramDirectory(FENDREL_PLUGIN_DIR);
        params.baud_rate = 115200;
        params.flash_type = "MULTI";
    }
    void TearDown() override { platform::OverrideProgramDirectory(""); }

    // A phone of `family` in download mode; returns its number.
    int AddPhone(const char* family, sim::PhoneProfile profile = {}) {
        const int number = station.AddPhone(profile, sim::FindFlashFamily(family));
        EXPECT_TRUE(station.Plug(number, sim::kDownloadModeProduct)) << station.error();
        return number;
    }
    // The port name of the phone's tty as the enumerator names it, empty when absent.
    std::string PortOf(int number) {
        const std::string node = station.phone(number).Node(sim::kDiagnosticInterface);
        for (const auto& device : devices.PresentDevices(platform::DeviceClass::kPorts)) {
            if (!node.empty() && device.device_node == node)
                return device.port_name;
        }
        return {};
    }
    std::unique_ptr<CDownloadThread> Worker(int number, Page& page) {
        const WorkerServices bundle{clock,     services.channels(), services.serial_links(),
                                    nv_backup, mass_storage,        PluginFlashLibraries()};
        auto worker = std::make_unique<CDownloadThread>(PortOf(number), "USB", PORT_KIND_DLOAD,
                                                        &page, bundle);
        page.worker = worker.get();
        EXPECT_TRUE(worker->SetParams(params));
        return worker;
    }
    // One whole run of phone `number` on this thread; its page's lines.
    Lines Run(int number, Page& page) {
        std::unique_ptr<CDownloadThread> worker = Worker(number, page);
        static_cast<CThreadBase&>(*worker).Run();
        return page.lines();
    }
    // Whether phone `number` shows up (or comes back) as USB product `product`.
    bool PluggedAs(int number, std::uint16_t product) {
        char pid[16];
        std::snprintf(pid, sizeof pid, "PID_%04X", product);
        return WaitUntil([&] {
            if (!station.phone(number).is_plugged())
                return false;
            for (const auto& device : devices.PresentDevices(platform::DeviceClass::kPorts)) {
                if (device.instance_id.find(pid) != std::string::npos &&
                    device.instance_id.ends_with("\\1-" + std::to_string(number)))
                    return true;
            }
            return false;
        });
    }

    TempDir dir;
    sim::PhoneStation station;
    platform::DeviceEnumerator devices{station.tree().root(),
                                       platform::SettingsStore(dir.File("registry"))};
    platform::VirtualClock clock;
    StationServices services{clock, devices};
    Journal steps;
    FakeStep nv_backup{steps, "nv-backup"};
    FakeStep mass_storage{steps, "mass-storage"};
    DOWNLOAD_PARAM params;
};

}  // namespace fendrel::testing
