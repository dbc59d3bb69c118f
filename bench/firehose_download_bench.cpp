// A 64 MiB image set written to a simulated firehose phone over a pseudo-terminal, through the
// plugins' firehose route (Sahara upload, Firehose with every region verified by its digest,
// patches, restart), beside the raw throughput of the same kind of pseudo-terminal pair: the
// same bytes in the same pieces, taken on the other side and written to a disk image, with no
// protocol. Both in one run, best of three each, and their ratio. The protocol's figure is the
// plugin's call, from the Sahara upload to the phone's answer to the restart.
//
// usage: firehose_download_bench [FOLDER]   (work files go there, default the temp folder)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/raw_receiver.h"
#include "flashlibs/support/firehose_download.h"
#include "platform/event.h"
#include "platform/serial_port.h"
#include "qcom/firehose_client.h"
#include "sim/imageset/image_set.h"
#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"

namespace {

constexpr std::uint64_t kDataBytes = 64 << 20;
constexpr std::uint64_t kDiskBytes = 96 << 20;
constexpr int kRounds = 3;
constexpr unsigned kBaud = 115200;

// The plugin's last report, for a run that fails.
struct LastReport {
    int code = -1, b = 0, c = 0, d = 0;
};

void Remember(int code, int b, int c, int d, void* context) {
    *static_cast<LastReport*>(context) = {code, b, c, d};
}

// Whether the phone at 1-1 of `tree` shows as `product`, within `limit`. The phone restarts on
// its own thread after it acknowledged the reset; a round that plugged it in download mode before
// that restart would lose its port to it.
bool AwaitProduct(const sim::FakeDeviceTree& tree, const char* product,
                  std::chrono::milliseconds limit) {
    const std::string file = tree.root() + "/devices/platform/fendrel-sim/usb1/1-1/idProduct";
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream shown(file);
        std::string line;
        if (std::getline(shown, line) && line == product)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string folder = (base / "fendrel-firehose-bench").string();
    sim::ImageSetOptions options;
    options.folder = folder + "/set";
    options.disk_bytes = kDiskBytes;
    options.data_bytes = kDataBytes;
    std::string error;
    if (!sim::MakeImageSet(options, error)) {
        std::fprintf(stderr, "cannot make the image set: %s\n", error.c_str());
        return 1;
    }

    // Through the protocols.
    bool ok = true;
    double protocol = 0;
    {
        sim::PhoneStation station(folder + "/station", kDiskBytes);
        station.AddPhone({}, sim::FindFlashFamily("firehose"));
        protocol = 1e300;
        // Only the plugin's call is timed: plugging the phone in and opening its port come
        // before, its restart after.
        for (int round = 0; round < kRounds && ok; ++round) {
            platform::SerialPort port;
            platform::ManualResetEvent stop;
            if (!station.Plug(1, sim::kDownloadModeProduct) ||
                port.Open(station.phone(1).Node(sim::kDiagnosticInterface), kBaud) !=
                    platform::OpenStatus::kOpened) {
                std::fprintf(stderr, "the phone could not be plugged or its port opened\n");
                ok = false;
                break;
            }
            LastReport last;
            fendrel::flashlibs::PluginCall call;
            call.port = &port;
            call.stop_event = &stop;
            call.report = fendrel::flashlibs::Reporter(&Remember, &last);
            const fendrel::flashlibs::ImageSet image_set{
                fendrel::flashlibs::ImageSetKind::kFirehose, options.folder,
                options.folder + "/" + options.programmer, ""};
            bool written = false;
            protocol = std::min(protocol, fendrel::bench::SecondsOf([&] {
                                    written = fendrel::flashlibs::FirehoseDownload(
                                        call, image_set, fendrel::flashlibs::FlashRoute::kMulti);
                                }));
            if (!written) {
                std::fprintf(stderr, "the download failed; its last report: %d (%d, %d, %d)\n",
                             last.code, last.b, last.c, last.d);
                ok = false;
            } else if (!AwaitProduct(station.tree(), "9025", std::chrono::seconds(10))) {
                std::fprintf(stderr, "the phone did not restart in normal mode\n");
                ok = false;
            }
        }
    }

    // The same bytes, raw, in the pieces the protocol sends them in.
    std::vector<std::vector<std::uint8_t>> files;
    std::uint64_t total = 0;
    for (const char* name : {"gpt_main0.bin", "sbl1.img", "aboot.img", "boot.img", "modem.img",
                             "system.img", "gpt_backup0.bin"}) {
        files.push_back(ReadAll(options.folder + "/" + name));
        files.back().resize((files.back().size() + 511) / 512 * 512, 0);
        total += files.back().size();
    }
    double raw = 0;
    {
        fendrel::bench::RawLink link(folder, total, kBaud);
        raw = fendrel::bench::BestSeconds(kRounds, [&] {
            if (!link.Send(files, fendrel::qcom::FirehoseClient::kWantedPayload)) {
                std::fprintf(stderr, "the raw transfer failed\n");
                ok = false;
            }
        });
    }
    std::filesystem::remove_all(folder);
    if (!ok) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    fendrel::bench::PrintBesideRaw("Sahara + Firehose, verified", protocol, raw, kDataBytes,
                                   "best of", kRounds);
    return 0;
}
