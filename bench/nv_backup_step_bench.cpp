// The NV backup step end to end for 2,000 defined items read from an instant diagnostic channel:
// the store built from the definition file, every item read and held, the folders made and the
// backup file written, digested, flushed and renamed (target: well under a second).
//
// usage: nv_backup_step_bench [FOLDER]   (the program folder of the run, default the temp folder)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "engine/download_thread.h"
#include "engine/nv_backup.h"
#include "tests/engine/scripted_diagnostic.h"

namespace {

constexpr int kItems = 2000;
constexpr int kRounds = 10;

}  // namespace

int main(int argc, char** argv) {
    using namespace fendrel;
    using namespace fendrel::testing;
    const std::filesystem::path base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::filesystem::path folder = base / "fendrel-bench-nv-step";
    std::filesystem::create_directories(folder);
    {
        std::ofstream file(folder / "NV Decoder.zdf", std::ios::binary);
        for (int id = 1; id <= kItems; ++id)
            file << "NV_ITEM_" << id << ',' << id << ",ReadWrite,<BYTE,value>\r\n";
    }

    const platform::FixedWallClock wall_clock({2013, 4, 9, 8, 5, 30});
    NvBackup step(NvBackupServices{folder.string() + "/", &wall_clock});
    WorkerRig rig;
    ScriptedDiagnostic* diagnostic = nullptr;
    ScriptedChannels channels(rig.journal, diagnostic);
    CDownloadThread worker(
        "COM7", "USB", PORT_KIND_DIAG, nullptr,
        WorkerServices{rig.clock, channels, rig.links, step, rig.mass_storage, rig.flash});
    DOWNLOAD_PARAM params;
    params.flash_type = "MULTI";
    params.backup_esn = 1;
    params.backup_rf = 1;

    bool saved = true;
    const double seconds = bench::BestSeconds(kRounds, [&] {
        worker.SetParams(params);
        static_cast<CThreadBase&>(worker).Run();
        saved = saved && std::filesystem::exists(worker.nv_backup_path());
    });
    const std::size_t asked = diagnostic->asked.size();
    std::filesystem::remove_all(folder);
    if (!saved || asked != static_cast<std::size_t>(kItems) * kRounds) {
        std::fprintf(stderr, "the backup of %d items was not made\n", kItems);
        return 1;
    }
    std::printf("NV backup step, %d items read and saved: %.2f ms (best of %d)\n", kItems,
                seconds * 1e3, kRounds);
    return 0;
}
