// What the page tests build a window on: simulated phones in a device tree of their own, a
// registry with the station's keys, the shipped config.ini and plugins, recorded prompts and
// scripted choosers; workers either with the product's real services or with doubles.
#pragma once

#include <deque>
#include <optional>
#include <string>

#include "engine/nv_backup.h"
#include "engine/raw_disk_route.h"
#include "engine/station_services.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "sim/phones/phone_station.h"
#include "tests/engine/worker_doubles.h"
#include "tests/support/temp_dir.h"
#include "ui/choosers.h"
#include "ui/download_page.h"

namespace fendrel::ui {

// Answers each chooser from its queue (cancelled when the queue is empty).
class ScriptedChoosers final : public Choosers {
  public:
    std::optional<std::string> ChooseFolder(QWidget*, const QString& title) override;
    std::optional<std::string> ChooseOpenFile(QWidget*, const QString& title, const QString&,
                                              const QString&) override;

    std::deque<std::string> folders;
    std::deque<std::string> files;
    QString last_title;
};

class StationRig {
  public:
    static constexpr std::uint64_t kDiskBytes = 32 << 20;

    // With the registry keys the installation makes when `with_keys`.
    explicit StationRig(bool with_keys = true);
    ~StationRig();

    // A phone plugged in `product`'s mode, of the flash family `family` (none: the plain one).
    int AddPhone(std::uint16_t product, const char* family = nullptr);
    // The COM name the station gives phone `number`'s port, empty when absent.
    std::string PortOf(int number) const;
    std::optional<std::uint32_t> Counter(const char* name) const;

    // The product's workers, or the doubles of the engine's tests (one row at a time).
    PageServices Real();
    PageServices Doubles();

    fendrel::testing::TempDir dir;
    sim::PhoneStation station{dir.File("station"), kDiskBytes};
    platform::SettingsStore settings{dir.File("registry")};
    platform::DeviceEnumerator devices{station.tree().root(), settings};
    platform::VirtualClock clock;
    StationServices services{clock, devices};
    NvBackup nv_backup;
    RawDiskRoute raw_disk;
    ScriptedChoosers choosers;
    platform::RecordingPrompts prompts;
    std::string config_path;

    fendrel::testing::Journal journal;
    fendrel::testing::FakeChannels channels{journal};
    fendrel::testing::FakeSerialLinks links{journal};
    fendrel::testing::FakeStep nv_step{journal, "nv-backup"};
    fendrel::testing::FakeStep mass_step{journal, "mass-storage"};
    fendrel::testing::FakeFlashLibraries flash{journal};
};

// Processes the window's events until `done` holds; false after a generous bound.
bool WaitForPage(const std::function<bool()>& done);

}  // namespace fendrel::ui
