#include "flashlibs/support/image_set_files.h"

#include <filesystem>

#include "engine/image_folder.h"

namespace fendrel::flashlibs {
namespace {

// The name the worker gives an image folder's version subfolder.
constexpr std::string_view kVersionFolder = "VERSION";

std::optional<FirehoseImageSet> InFolder(const std::filesystem::path& folder) {
    for (const std::string_view name : kFirehoseProgrammers) {
        const std::filesystem::path programmer = folder / name;
        std::error_code failure;
        if (std::filesystem::is_regular_file(programmer, failure))
            return FirehoseImageSet{folder.string(), programmer.string()};
    }
    return std::nullopt;
}

}  // namespace

std::optional<FirehoseImageSet> FindFirehoseImageSet(std::string_view version_folder) {
    if (version_folder.empty())
        return std::nullopt;
    std::filesystem::path folder(version_folder);
    if (!folder.has_filename())  // a trailing separator
        folder = folder.parent_path();
    if (std::optional<FirehoseImageSet> found = InFolder(folder))
        return found;
    if (folder.filename() == kVersionFolder)
        return InFolder(folder.parent_path());
    return std::nullopt;
}

}  // namespace fendrel::flashlibs
