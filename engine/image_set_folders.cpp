#include "engine/image_set_folders.h"

#include <filesystem>

namespace fendrel {
namespace {

constexpr std::string_view kVersionFolder = "VERSION";

}  // namespace

std::vector<std::string> ImageSetFolders(std::string_view version_folder) {
    if (version_folder.empty())
        return {};
    std::filesystem::path folder(version_folder);
    if (!folder.has_filename())  // a trailing separator
        folder = folder.parent_path();
    std::vector<std::string> folders{folder.string()};
    if (folder.filename() == kVersionFolder)
        folders.push_back(folder.parent_path().string());
    return folders;
}

}  // namespace fendrel
