// 64 MiB of NAND multi-image data written to a simulated nand phone over a pseudo-terminal,
// through the plugins' NAND route (programmer over DMSS download, streaming download in the
// phone's blocks with its window of writes on the way, restart), beside the raw throughput of the
// same kind of pseudo-terminal pair: the same bytes in the same pieces, taken on the other side
// and written to a file, with no protocol. Both in one run, the median of five each, and their
// ratio. The protocol's figure is the plugin's call, from the programmer's upload to the phone's
// answer to the restart.
//
// usage: nand_download_bench [FOLDER]   (work files go there, default the temp folder)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bench/bench_support.h"
#include "bench/raw_receiver.h"
#include "flashlibs/support/nand_multi_download.h"
#include "platform/event.h"
#include "platform/serial_port.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"
#include "sim/phones/streaming_programmer.h"

namespace {

constexpr std::uint64_t kDataBytes = 64 << 20;
constexpr int kRounds = 5;
constexpr unsigned kBaud = 115200;

// The set's files; amss.mbn makes up the rest of kDataBytes.
const std::pair<const char*, std::uint64_t> kSmallFiles[] = {
    {"partition.mbn", 256}, {"qcsblhd_cfgdata.mbn", 4096}, {"qcsbl.mbn", 256 << 10},
    {"oemsblhd.mbn", 40},   {"oemsbl.mbn", 1 << 20},       {"amsshd.mbn", 40},
};

std::vector<std::uint8_t> Pattern(std::uint64_t bytes, unsigned seed) {
    std::vector<std::uint8_t> data(bytes);
    unsigned value = seed;
    for (std::uint8_t& byte : data) {
        value = value * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(value >> 16);
    }
    return data;
}

bool Write(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string folder = (base / "fendrel-nand-bench").string();
    const std::string set = folder + "/set";
    std::filesystem::create_directories(set);
    std::vector<std::vector<std::uint8_t>> images;  // what goes out in stream writes
    std::uint64_t small = 0;
    bool ok = true;
    unsigned seed = 1;
    for (const auto& [name, bytes] : kSmallFiles) {
        const std::vector<std::uint8_t> data = Pattern(bytes, seed++);
        ok = Write(set + "/" + name, data) && ok;
        small += bytes;
        if (std::string(name) != "partition.mbn" && !std::string(name).ends_with("hd.mbn"))
            images.push_back(data);
    }
    images.push_back(Pattern(kDataBytes - small, seed++));
    ok = Write(set + "/amss.mbn", images.back()) && ok;
    ok = Write(set + "/MPRG7627A.bin", Pattern(64 << 10, seed++)) && ok;
    if (!ok) {
        std::fprintf(stderr, "cannot make the image set in %s\n", set.c_str());
        return 1;
    }

    // Through the protocols.
    double protocol = 0;
    {
        sim::PhoneStation station(folder + "/station");
        station.AddPhone({}, sim::FindFlashFamily("nand"));
        const fendrel::flashlibs::ImageSet image_set{
            fendrel::flashlibs::ImageSetKind::kNandMultiImage, set, set + "/MPRG7627A.bin", ""};
        // Only the plugin's call is timed, as the raw side's clock starts with its link set up:
        // plugging the phone in and opening its port come before. The phone queues its restart
        // before it answers the reset, so the next round's plug comes after it.
        std::vector<double> seconds;
        for (int round = 0; round < kRounds && ok; ++round) {
            platform::SerialPort port;
            platform::ManualResetEvent stop;
            if (!station.Plug(1, sim::kDownloadModeProduct) ||
                port.Open(station.phone(1).Node(sim::kDiagnosticInterface), kBaud) !=
                    platform::OpenStatus::kOpened) {
                std::fprintf(stderr, "the phone's download port did not open: %s\n",
                             port.error().c_str());
                ok = false;
                break;
            }
            fendrel::flashlibs::PluginCall call;
            call.port = &port;
            call.stop_event = &stop;
            // The last report names the step of a failed run.
            int last[4] = {};
            call.report = fendrel::flashlibs::Reporter(
                [](int code, int b, int c, int d, void* context) {
                    int* report = static_cast<int*>(context);
                    report[0] = code, report[1] = b, report[2] = c, report[3] = d;
                },
                last);
            bool written = false;
            seconds.push_back(fendrel::bench::SecondsOf(
                [&] { written = fendrel::flashlibs::NandMultiDownload(call, image_set); }));
            if (!written) {
                std::fprintf(stderr, "the NAND route failed; its last report: %d %d %d %d\n",
                             last[0], last[1], last[2], last[3]);
                ok = false;
            }
        }
        protocol = fendrel::bench::Median(std::move(seconds));
    }

    // The same bytes, raw, in the blocks the protocol sends them in.
    std::uint64_t total = 0;
    for (const auto& image : images)
        total += image.size();
    double raw = 0;
    {
        fendrel::bench::RawLink link(folder, total, kBaud);
        raw = fendrel::bench::MedianSeconds(
            kRounds, [&] { ok = link.Send(images, sim::StreamingProgrammer::kBlockSize) && ok; });
    }
    std::filesystem::remove_all(folder);
    if (!ok) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    fendrel::bench::PrintBesideRaw("DMSS upload + streaming download", protocol, raw, kDataBytes,
                                   "median of", kRounds);
    return 0;
}
