#include "tests/ui/station_rig.h"

#include <gtest/gtest.h>

#include <QTest>

#include "app/registry_keys.h"
#include "platform/paths.h"
#include "sim/phones/flash_family.h"
#include "sim/phones/phone_modes.h"

namespace fendrel::ui {

std::optional<std::string> ScriptedChoosers::ChooseFolder(QWidget*, const QString& title) {
    last_title = title;
    if (folders.empty())
        return std::nullopt;
    std::string folder = folders.front();
    folders.pop_front();
    return folder;
}

std::optional<std::string> ScriptedChoosers::ChooseOpenFile(QWidget*, const QString& title,
                                                            const QString&, const QString&) {
    last_title = title;
    if (files.empty())
        return std::nullopt;
    std::string file = files.front();
    files.pop_front();
    return file;
}

StationRig::StationRig(bool with_keys) {
    platform::OverrideProgramDirectory(FENDREL_PROGRAM_DIR);
    config_path = platform::JoinPath(FENDREL_PROGRAM_DIR, "config.ini");
    platform::InstallPrompts(&prompts);
    for (const std::string_view key : registry::kProgramKeys) {
        if (with_keys) {
            EXPECT_TRUE(settings.CreateKey(platform::Hive::kLocalMachine, key));
        }
    }
}

StationRig::~StationRig() {
    platform::InstallPrompts(nullptr);
    platform::OverrideProgramDirectory("");
}

int StationRig::AddPhone(std::uint16_t product, const char* family) {
    const int number =
        station.AddPhone({}, family != nullptr ? sim::FindFlashFamily(family) : nullptr);
    EXPECT_TRUE(station.Plug(number, product)) << station.error();
    return number;
}

std::string StationRig::PortOf(int number) const {
    const std::string node =
        const_cast<sim::PhoneStation&>(station).phone(number).Node(sim::kDiagnosticInterface);
    for (const auto& device : devices.PresentDevices(platform::DeviceClass::kPorts)) {
        if (!node.empty() && device.device_node == node)
            return device.port_name;
    }
    return {};
}

std::optional<std::uint32_t> StationRig::Counter(const char* name) const {
    std::optional<platform::SettingsKey> key =
        settings.OpenKey(platform::Hive::kLocalMachine, registry::kFendrelKey);
    return key ? key->QueryDword(name) : std::nullopt;
}

PageServices StationRig::Real() {
    return PageServices{
        services.ForWorkers(nv_backup, raw_disk), devices, settings, config_path, choosers,
        dir.File("registry/history.db")};
}

PageServices StationRig::Doubles() {
    return PageServices{WorkerServices{clock, channels, links, nv_step, mass_step, flash},
                        devices,
                        settings,
                        config_path,
                        choosers,
                        dir.File("registry/history.db")};
}

bool WaitForPage(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 120000);
}

}  // namespace fendrel::ui
