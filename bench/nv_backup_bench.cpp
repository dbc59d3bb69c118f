// Saving an NV backup of 2,000 items: the body formatted, digested and written, the trailer
// added, the file flushed to disk and renamed into place. Run by hand:
//     build/bin/nv_backup_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "nv/nv_item_store.h"

namespace {

constexpr int kItems = 2000;

void SaveBackupOf2000Items(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "fendrel-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("cannot create a temporary folder");
        return;
    }
    const std::string definitions = folder + "/NV Decoder.zdf";
    {
        std::ofstream file(definitions);
        for (int id = 1; id <= kItems; ++id)
            file << "NV_ITEM_" << id << ',' << id << ",ReadWrite,<BYTE,value>\r\n";
    }
    fendrel::NvItemStore store(definitions);
    std::vector<std::uint16_t> ids;
    std::vector<std::string> names;
    store.list_defined_items(ids, names);
    fendrel::NvItemData data{};
    for (const std::uint16_t id : ids) {
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(id * 31 + i * 7);
        store.set_item(id, data);
    }
    const std::string path = folder + "/_COM7_14_05_09.znv";
    for (auto _ : state) {
        if (!store.save_backup(path)) {
            state.SkipWithError("save_backup failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
    std::filesystem::remove_all(folder);
}
BENCHMARK(SaveBackupOf2000Items)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
