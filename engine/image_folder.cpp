#include "engine/image_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/flash_type.h"
#include "platform/paths.h"

namespace fendrel {
namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Opening for reading, as the Windows call understands it: a folder does not count.
bool OpensForReading(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool is_file = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    close(fd);
    return is_file;
}

}  // namespace

bool FirehoseProgrammerPresent(std::string_view image_folder) {
    for (const std::string_view programmer : kFirehoseProgrammers) {
        if (OpensForReading(platform::JoinPath(image_folder, programmer)))
            return true;
    }
    return false;
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
