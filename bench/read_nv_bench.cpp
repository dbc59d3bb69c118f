// NV reads from a simulated phone over a pseudo-terminal, through the station's diagnostic
// channel on the real clock: the round trip of one ReadNV, and 2,000 items read one after the
// other (the NV backup of a phone with a full structure file).
//
// usage: read_nv_bench [FOLDER]   (the phone's device tree goes there, default the temp folder)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/event.h"
#include "platform/serial_port.h"
#include "qcom/diag_channel.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"

namespace {

constexpr int kItems = 2000;
constexpr int kRoundTrips = 2000;
constexpr int kRounds = 5;
constexpr unsigned kBaud = 115200;

bool ReadItem(fendrel::qcom::DiagChannel& channel, std::uint16_t item) {
    fendrel::NV_S_TYPE record{};
    record.item = item;
    return channel.ReadNV(record) == fendrel::DMSS_SUCCESS && record.status == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string folder = (base / "fendrel-read-nv-bench").string();
    bool ok = true;
    {
        sim::PhoneProfile profile;
        sim::AddPatternNvItems(profile, 1, kItems);
        sim::PhoneStation station(folder);
        station.AddPhone(std::move(profile));
        platform::SerialPort port;
        if (!station.Plug(1, sim::kNormalModeProduct) ||
            port.Open(station.phone(1).Node(sim::kDiagnosticInterface), kBaud) !=
                platform::OpenStatus::kOpened) {
            std::fprintf(stderr, "cannot set up the simulated phone: %s%s\n",
                         station.error().c_str(), port.error().c_str());
            return 1;
        }
        platform::ManualResetEvent stop;
        fendrel::qcom::DiagChannel channel(stop, platform::SystemClock());
        channel.Attach(port);

        std::vector<double> trips;
        for (int i = 0; i < kRoundTrips; ++i) {
            const auto started = std::chrono::steady_clock::now();
            ok = ReadItem(channel, static_cast<std::uint16_t>(1 + i % kItems)) && ok;
            trips.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        }
        std::sort(trips.begin(), trips.end());
        const double all = fendrel::bench::BestSeconds(kRounds, [&] {
            for (int item = 1; item <= kItems; ++item)
                ok = ReadItem(channel, static_cast<std::uint16_t>(item)) && ok;
        });
        if (!ok) {
            std::fprintf(stderr, "an NV read failed\n");
            return 1;
        }
        std::printf("ReadNV round trip: median %.1f us, 99th percentile %.1f us (%d reads)\n",
                    trips[trips.size() / 2] * 1e6, trips[trips.size() * 99 / 100] * 1e6,
                    kRoundTrips);
        std::printf("%d items: %.1f ms, %.0f items/s (best of %d)\n", kItems, all * 1e3,
                    kItems / all, kRounds);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
