// The image files that the seeds of the layout fuzz targets name (a.bin of 1000 bytes, b.bin of
// 4096), in a folder of the temporary folder made at the first call.
//
// Every fuzzing process (and every replay under a parallel ctest) shares the folder, so a file is
// never rewritten in place, where another process could read it half-written: it is written under
// a name of this process's own and renamed over the old one, which readers see whole either way.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fendrel::fuzzing {

inline void PlaceFuzzImage(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::path own = path;
    own += "." + std::to_string(getpid());
    std::ofstream(own, std::ios::binary) << bytes;
    std::filesystem::rename(own, path);
}

inline const std::string& FuzzImageFolder() {
    static const std::string folder = [] {
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / "fendrel-layout-fuzz-images";
        std::filesystem::create_directories(path);
        PlaceFuzzImage(path / "a.bin", std::string(1000, 'a'));
        PlaceFuzzImage(path / "b.bin", std::string(4096, 'b'));
        return path.string();
    }();
    return folder;
}

}  // namespace fendrel::fuzzing
