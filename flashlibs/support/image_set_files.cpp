#include "flashlibs/support/image_set_files.h"

#include <filesystem>
#include <set>

#include "engine/image_folder.h"
#include "engine/image_set_folders.h"

namespace fendrel::flashlibs {
namespace {

constexpr std::string_view kNorProgrammerPrefix = "NPRG";

// The RAM programmers of DMSS download, by the kind of set they write, in the order they are
// looked for; each is the .bin the page converts from its .hex.
constexpr struct {
    std::string_view name;
    ImageSetKind kind;
} kRamProgrammers[] = {
    {"MPRG8X25Q", ImageSetKind::kEmmcProgrammer},
    {"MPRG8X25", ImageSetKind::kEmmcProgrammer},
    {"MPRG7627A", ImageSetKind::kNandMultiImage},
};

bool IsFile(const std::filesystem::path& path) {
    std::error_code failure;
    return std::filesystem::is_regular_file(path, failure);
}

// The set of a programmer whose .bin and .hex would be `bin` and `hex`: its .bin where there is
// one, else its .hex; none without either.
std::optional<ImageSet> ProgrammerOf(ImageSetKind kind, const std::filesystem::path& folder,
                                     const std::filesystem::path& bin,
                                     const std::filesystem::path& hex) {
    const std::string hex_path = IsFile(hex) ? hex.string() : "";
    if (IsFile(bin))
        return ImageSet{kind, folder.string(), bin.string(), hex_path};
    if (!hex_path.empty())
        return ImageSet{kind, folder.string(), hex_path, hex_path};
    return std::nullopt;
}

std::optional<ImageSet> InFolder(const std::filesystem::path& folder) {
    for (const std::string_view name : kFirehoseProgrammers) {
        if (IsFile(folder / name))
            return ImageSet{ImageSetKind::kFirehose, folder.string(), (folder / name).string(), ""};
    }
    for (const auto& [name, kind] : kRamProgrammers) {
        const std::filesystem::path bin = folder / (std::string(name) + ".bin");
        const std::filesystem::path hex = folder / (std::string(name) + ".hex");
        if (std::optional<ImageSet> found = ProgrammerOf(kind, folder, bin, hex))
            return found;
    }
    return std::nullopt;
}

}  // namespace

std::optional<ImageSet> FindImageSet(std::string_view version_folder) {
    for (const std::string& folder : ImageSetFolders(version_folder)) {
        if (std::optional<ImageSet> found = InFolder(folder))
            return found;
    }
    return std::nullopt;
}

std::optional<ImageSet> FindNorProgrammer(std::string_view version_folder) {
    if (version_folder.empty())
        return std::nullopt;
    std::set<std::filesystem::path> stems;
    std::error_code failure;
    for (const auto& entry : std::filesystem::directory_iterator(version_folder, failure)) {
        const std::filesystem::path name = entry.path().filename();
        const std::string extension = name.extension().string();
        if (name.string().starts_with(kNorProgrammerPrefix) &&
            (extension == ".bin" || extension == ".hex"))
            stems.insert(entry.path().parent_path() / name.stem());
    }
    for (const std::filesystem::path& stem : stems) {
        std::filesystem::path bin = stem, hex = stem;
        bin += ".bin";
        hex += ".hex";
        if (std::optional<ImageSet> found =
                ProgrammerOf(ImageSetKind::kNorProgrammer, stem.parent_path(), bin, hex))
            return found;
    }
    return std::nullopt;
}

}  // namespace fendrel::flashlibs
