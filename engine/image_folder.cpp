#include "engine/image_folder.h"

#include "engine/flash_type.h"
#include "engine/image_set_folders.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "qcom/raw_program.h"

namespace fendrel {
namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// A file that opens for reading; a folder (or a device, or a FIFO) does not count.
bool OpensForReading(const std::string& path) {
    return platform::OpenInputFile(path) != nullptr;
}

}  // namespace

bool FirehoseProgrammerPresent(std::string_view image_folder) {
    for (const std::string_view programmer : kFirehoseProgrammers) {
        if (OpensForReading(platform::JoinPath(image_folder, programmer)))
            return true;
    }
    return false;
}

std::string RawProgramSetFolder(std::string_view version_folder) {
    for (const std::string& folder : ImageSetFolders(version_folder)) {
        if (OpensForReading(platform::JoinPath(folder, qcom::kRawProgramFileName)))
            return folder;
    }
    return {};
}

std::string ResolveVersionFolder(std::string_view flash_type, std::string_view image_folder,
                                 std::string_view version_folder) {
    if (!IsFlashType(flash_type, kFlashTypeMulti))
        return std::string(version_folder);
    if (Contains(image_folder, "sion") || Contains(image_folder, "SION"))
        return std::string(image_folder);
    return std::string(image_folder) + "VERSION";
}

bool IsSlowModelFolder(std::string_view image_folder) {
    for (const std::string_view model : {"M4", "m4", "T6", "t6"}) {
        if (Contains(image_folder, model))
            return true;
    }
    return false;
}

}  // namespace fendrel
