#include "fastboot/brenlo_flash/image_files.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "fastboot/partitions.h"

namespace brenlo::flash_tool {
namespace {

namespace fs = std::filesystem;

// Why the library could not load `path`; empty when it could.
std::string ImageProblem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
        return "no such file";
    if (error)
        return error.message();
    if (fs::is_directory(status))
        return "is a folder, not an image file";
    if (!fs::is_regular_file(status))
        return "is not a regular file";
    const std::uintmax_t size = fs::file_size(path, error);
    if (error)
        return error.message();
    if (size == 0)
        return "is empty";
    if (size > static_cast<std::uintmax_t>(BRENLO_MAX_IMAGE_SIZE)) {
        return "holds " + std::to_string(size) + " bytes, more than the " +
               std::to_string(BRENLO_MAX_IMAGE_SIZE) + " an image may hold";
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::string("cannot be read: ") + std::strerror(errno);
    std::fclose(file);
    return "";
}

}  // namespace

std::vector<std::string> CheckImages(const flash_request& request) {
    std::vector<std::string> problems;
    for (const RequestPartition& partition : kRequestPartitions) {
        if (request.*partition.flash_flag == 0)
            continue;
        const std::string& path = request.*partition.path;
        const std::string problem = ImageProblem(path);
        if (!problem.empty())
            problems.push_back(std::string(partition.name) + " image '" + path + "': " + problem);
    }
    return problems;
}

}  // namespace brenlo::flash_tool
