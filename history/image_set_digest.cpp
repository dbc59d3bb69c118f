#include "history/image_set_digest.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "qcom/sha256.h"

namespace fendrel::history {
namespace {

constexpr std::size_t kChunkBytes = 1 << 20;

bool AddFile(qcom::Sha256& digest, const std::filesystem::path& path, std::string& error) {
    std::error_code failure;
    const std::uint64_t size = std::filesystem::file_size(path, failure);
    std::ifstream in(path, std::ios::binary);
    if (failure || !in) {
        error = path.string() + ": cannot be read for the image set's digest";
        return false;
    }
    const std::string name = path.filename().string();
    digest.Update(std::span(reinterpret_cast<const std::uint8_t*>(name.c_str()), name.size() + 1));
    std::uint8_t size_bytes[8];
    for (int i = 0; i < 8; ++i)
        size_bytes[i] = static_cast<std::uint8_t>(size >> (8 * i));
    digest.Update(size_bytes);
    std::vector<char> chunk(kChunkBytes);
    std::uint64_t total = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        digest.Update(std::span(reinterpret_cast<const std::uint8_t*>(chunk.data()), got));
        total += got;
    }
    if (in.bad() || total != size) {
        error = path.string() + ": changed or could not be read whole for the image set's digest";
        return false;
    }
    return true;
}

}  // namespace

std::string ImageSetDigest(const std::string& folder, const std::vector<std::string>& more_files,
                           std::string& error) {
    std::vector<std::filesystem::path> files;
    std::error_code failure;
    for (std::filesystem::directory_iterator entry(folder, failure), end; !failure && entry != end;
         entry.increment(failure)) {
        if (entry->is_regular_file(failure))
            files.push_back(entry->path());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : more_files) {
        if (!file.empty())
            files.emplace_back(file);
    }
    qcom::Sha256 digest;
    for (const std::filesystem::path& file : files) {
        if (!AddFile(digest, file, error))
            return {};
    }
    return qcom::HexDigest(digest.Finish());
}

}  // namespace fendrel::history
