// Saving an NV backup of 2,000 items: the body formatted and digested, the file written, its
// trailer added, flushed to disk and renamed into place (target: well under a second).
//
// usage: nv_backup_bench [FOLDER]   (work files go there, default the temp folder)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "nv/nv_item_store.h"

namespace {

constexpr int kItems = 2000;
constexpr int kRounds = 20;

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string definitions = (folder / "fendrel-bench-nv.zdf").string();
    const std::string backup = (folder / "fendrel-bench-_COM7_14_05_09.znv").string();
    {
        std::ofstream file(definitions, std::ios::binary);
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

    bool saved = true;
    const double seconds =
        fendrel::bench::BestSeconds(kRounds, [&] { saved = store.save_backup(backup) && saved; });
    const auto size = saved ? std::filesystem::file_size(backup) : 0;
    std::filesystem::remove(definitions);
    std::filesystem::remove(backup);
    if (!saved || ids.size() != kItems) {
        std::fprintf(stderr, "the backup of %d items was not saved\n", kItems);
        return 1;
    }
    std::printf("save_backup, %d items (%ju bytes): %.2f ms (best of %d)\n", kItems,
                static_cast<std::uintmax_t>(size), seconds * 1e3, kRounds);
    return 0;
}
