// The image files that the seeds of the layout fuzz targets name (a.bin of 1000 bytes, b.bin of
// 4096), in a folder of the temporary folder made at the first call.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace fendrel::fuzzing {

inline const std::string& FuzzImageFolder() {
    static const std::string folder = [] {
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / "fendrel-layout-fuzz-images";
        std::filesystem::create_directories(path);
        std::ofstream(path / "a.bin", std::ios::binary) << std::string(1000, 'a');
        std::ofstream(path / "b.bin", std::ios::binary) << std::string(4096, 'b');
        return path.string();
    }();
    return folder;
}

}  // namespace fendrel::fuzzing
