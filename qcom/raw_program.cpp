#include "qcom/raw_program.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>

#include "platform/files.h"
#include "platform/paths.h"
#include "qcom/crc32.h"
#include "qcom/sector_expression.h"
#include "qcom/xml_document.h"

namespace fendrel::qcom {
namespace {

constexpr std::uint32_t kSmallestSector = 512;
constexpr std::uint32_t kLargestSector = 65536;
constexpr std::uint32_t kLargestPatch = 8;
// Far more than the XML of any image set holds.
constexpr std::size_t kLargestLayoutFile = 16 << 20;
// A CRC32 value is read from the target in pieces of this size.
constexpr std::uint64_t kCrcPieceBytes = 1 << 20;
// Stands for the target's size while only the syntax of an expression is checked.
constexpr std::int64_t kSomeDiskSize = std::int64_t{1} << 40;

constexpr std::string_view kDiskPatchTarget = "DISK";
constexpr std::string_view kCrcOpen = "CRC32(";

// The element a message is about: "rawprogram0.xml, <program> 3 (system)".
class Place {
  public:
    Place(std::string_view file, std::string_view element, int number, std::string_view name)
        : text_(std::string(file) + ", <" + std::string(element) + "> " + std::to_string(number) +
                (name.empty() ? "" : " (" + std::string(name) + ")")) {}
    std::string Error(std::string_view what) const { return text_ + ": " + std::string(what); }

  private:
    std::string text_;
};

// A whole, non-negative number attribute ("512", "33."). None when it is missing (and
// `required`) or not such a number; `error` then says so.
std::optional<std::uint64_t> Whole(const XmlElement& node, const char* name, bool required,
                                   std::uint64_t missing, const Place& place, std::string& error) {
    const std::string* attribute = node.Attribute(name);
    if (attribute == nullptr) {
        if (required)
            error = place.Error(std::string("the attribute ") + name + " is missing");
        return required ? std::nullopt : std::optional<std::uint64_t>(missing);
    }
    std::string why;
    const std::optional<std::int64_t> value = EvaluateSectorExpression(*attribute, 0, &why);
    const bool plain = attribute->find(kDiskSectorsName) == std::string::npos;
    if (!value || *value < 0 || !plain) {
        error = place.Error(std::string(name) + " \"" + *attribute + "\" is not a whole number");
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(*value);
}

std::optional<std::uint32_t> SectorSize(const XmlElement& node, const Place& place,
                                        std::string& error) {
    const std::optional<std::uint64_t> size =
        Whole(node, "SECTOR_SIZE_IN_BYTES", true, 0, place, error);
    if (!size)
        return std::nullopt;
    const bool power_of_two = (*size & (*size - 1)) == 0;
    if (*size < kSmallestSector || *size > kLargestSector || !power_of_two) {
        error = place.Error("SECTOR_SIZE_IN_BYTES " + std::to_string(*size) +
                            " is not a sector size (a power of two from 512 to 65536)");
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*size);
}

std::optional<std::uint32_t> PhysicalPartition(const XmlElement& node, const Place& place,
                                               std::string& error) {
    const std::optional<std::uint64_t> number =
        Whole(node, "physical_partition_number", false, 0, place, error);
    if (number && *number > UINT32_MAX) {
        error = place.Error("physical_partition_number is too large");
        return std::nullopt;
    }
    return number ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*number))
                  : std::nullopt;
}

// The text of a sector expression attribute, checked for syntax. None when missing or not one.
std::optional<std::string> Expression(const XmlElement& node, const char* name, const Place& place,
                                      std::string& error) {
    const std::string* attribute = node.Attribute(name);
    if (attribute == nullptr) {
        error = place.Error(std::string("the attribute ") + name + " is missing");
        return std::nullopt;
    }
    std::string why;
    if (!EvaluateSectorExpression(*attribute, kSomeDiskSize, &why)) {
        error = place.Error(std::string(name) + " " + why);
        return std::nullopt;
    }
    return *attribute;
}

std::optional<XmlElement> DocumentElement(std::string_view name, std::string_view text,
                                          std::string& error) {
    XmlError why;
    std::optional<XmlElement> root = ReadXmlDocument(text, why);
    if (!root)
        error = std::string(name) + ", line " + std::to_string(why.line) +
                ": not readable as XML (" + why.what + ")";
    return root;
}

bool ReadProgram(const XmlElement& node, const std::string& image_folder, const Place& place,
                 int number, RawProgramLayout& layout, std::string& error,
                 std::string* missing_file) {
    const std::string file_name(node.Value("filename"));
    if (file_name.empty())
        return true;  // a partition the image set leaves as it is
    if (node.Value("sparse") == "true") {
        error = place.Error(file_name + " is a sparse image; expand it to a raw image first");
        return false;
    }
    RawProgramLayout::Program program;
    ProgramRegion& region = program.region;
    region.label = node.Value("label");
    region.file_name = file_name;
    region.file_path = platform::JoinPath(image_folder, file_name);
    region.element = number;
    const auto sector_size = SectorSize(node, place, error);
    const auto partition = sector_size ? PhysicalPartition(node, place, error) : std::nullopt;
    const auto start = partition ? Expression(node, "start_sector", place, error) : std::nullopt;
    const auto region_sectors =
        start ? Whole(node, "num_partition_sectors", true, 0, place, error) : std::nullopt;
    const auto offset_sectors =
        region_sectors ? Whole(node, "file_sector_offset", false, 0, place, error) : std::nullopt;
    if (!offset_sectors)
        return false;
    region.sector_size = *sector_size;
    region.physical_partition = *partition;
    program.start = *start;
    program.region_sectors = *region_sectors;

    std::error_code failure;
    const bool is_file = std::filesystem::is_regular_file(region.file_path, failure);
    const std::uintmax_t file_bytes =
        is_file ? std::filesystem::file_size(region.file_path, failure) : 0;
    if (!is_file || failure) {
        error = place.Error("cannot find the image file " + region.file_path);
        if (missing_file != nullptr)
            *missing_file = region.file_path;
        return false;
    }
    if (*offset_sectors > file_bytes / region.sector_size) {
        error = place.Error("file_sector_offset " + std::to_string(*offset_sectors) +
                            " lies past the end of " + file_name + " (" +
                            std::to_string(file_bytes) + " bytes)");
        return false;
    }
    region.file_offset = *offset_sectors * region.sector_size;
    region.bytes = file_bytes - region.file_offset;
    region.sectors = (region.bytes + region.sector_size - 1) / region.sector_size;
    if (program.region_sectors != 0 && region.sectors > program.region_sectors) {
        error = place.Error(file_name + " (" + std::to_string(region.bytes) +
                            " bytes to write) is longer than its region of " +
                            std::to_string(program.region_sectors) + " sectors of " +
                            std::to_string(region.sector_size) + " bytes");
        return false;
    }
    if (region.bytes == 0)
        return true;  // nothing to write
    layout.programs.push_back(std::move(program));
    return true;
}

// Splits "CRC32(a,b)" at its top-level comma. None when `value` is not of that form.
std::optional<std::pair<std::string, std::string>> CrcArguments(std::string_view value) {
    if (!value.starts_with(kCrcOpen) || !value.ends_with(")"))
        return std::nullopt;
    const std::string_view inside =
        value.substr(kCrcOpen.size(), value.size() - kCrcOpen.size() - 1);
    int depth = 0;
    for (std::size_t i = 0; i < inside.size(); ++i) {
        if (inside[i] == '(')
            ++depth;
        else if (inside[i] == ')')
            --depth;
        else if (inside[i] == ',' && depth == 0)
            return std::pair(std::string(inside.substr(0, i)), std::string(inside.substr(i + 1)));
    }
    return std::nullopt;
}

bool ReadPatch(const XmlElement& node, const Place& place, int number, RawProgramLayout& layout,
               std::string& error) {
    if (node.Value("filename") != kDiskPatchTarget)
        return true;  // patches a GPT file of the image set, not the target
    RawProgramLayout::Patch patch;
    patch.patch.what = node.Value("what");
    patch.patch.element = number;
    const auto sector_size = SectorSize(node, place, error);
    const auto partition = sector_size ? PhysicalPartition(node, place, error) : std::nullopt;
    const auto start = partition ? Expression(node, "start_sector", place, error) : std::nullopt;
    const auto offset = start ? Whole(node, "byte_offset", true, 0, place, error) : std::nullopt;
    const auto size = offset ? Whole(node, "size_in_bytes", true, 0, place, error) : std::nullopt;
    if (!size)
        return false;
    if (*size < 1 || *size > kLargestPatch || *offset > *sector_size - *size) {
        error =
            place.Error("size_in_bytes " + std::to_string(*size) + " at byte_offset " +
                        std::to_string(*offset) + " does not fit a field of 1 to 8 bytes in a " +
                        std::to_string(*sector_size) + "-byte sector");
        return false;
    }
    patch.patch.sector_size = *sector_size;
    patch.patch.physical_partition = *partition;
    patch.patch.byte_offset = static_cast<std::uint32_t>(*offset);
    patch.patch.size = static_cast<std::uint32_t>(*size);
    patch.start = *start;

    const std::string* value = node.Attribute("value");
    if (value == nullptr) {
        error = place.Error("the attribute value is missing");
        return false;
    }
    if (const auto crc = CrcArguments(*value)) {
        std::string why;
        for (const std::string* argument : {&crc->first, &crc->second}) {
            if (!EvaluateSectorExpression(*argument, kSomeDiskSize, &why)) {
                error = place.Error("value " + *value + ": " + why);
                return false;
            }
        }
        patch.patch.crc = true;
        std::tie(patch.crc_start, patch.crc_length) = *crc;
    } else if (const auto checked = Expression(node, "value", place, error)) {
        patch.value = *checked;
    } else {
        return false;
    }
    layout.patches.push_back(std::move(patch));
    return true;
}

// Evaluates a checked expression for a target's size; a negative value is an error.
std::optional<std::uint64_t> Sectors(const std::string& expression, std::uint64_t disk_sectors,
                                     const char* what, const Place& place, std::string& error) {
    std::string why;
    const std::optional<std::int64_t> value =
        EvaluateSectorExpression(expression, static_cast<std::int64_t>(disk_sectors), &why);
    if (!value) {
        error = place.Error(std::string(what) + " " + why);
        return std::nullopt;
    }
    if (*value < 0) {
        error = place.Error(std::string(what) + " " + expression + " is " + std::to_string(*value) +
                            " on a target of " + std::to_string(disk_sectors) + " sectors");
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(*value);
}

std::optional<std::uint64_t> PartitionSize(const PartitionSizes& sizes, std::uint32_t partition,
                                           std::uint32_t sector_size, const Place& place,
                                           std::string& error) {
    const std::optional<std::uint64_t> size = sizes(partition, sector_size);
    if (!size)
        error = place.Error("the target has no physical partition " + std::to_string(partition));
    return size;
}

std::string PartitionEnd(std::uint32_t partition, std::uint64_t sectors) {
    return "the end of physical partition " + std::to_string(partition) + " (" +
           std::to_string(sectors) + " sectors)";
}

// Two regions of one physical partition that share a byte: an error naming both.
bool CheckOverlaps(std::string_view file, const std::vector<ProgramRegion>& regions,
                   std::string& error) {
    struct Extent {
        std::uint32_t partition;
        std::uint64_t first, end;  // bytes
        const ProgramRegion* region;
    };
    std::vector<Extent> extents;
    for (const ProgramRegion& region : regions) {
        extents.push_back({region.physical_partition, region.start_sector * region.sector_size,
                           (region.start_sector + region.sectors) * region.sector_size, &region});
    }
    std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) {
        return std::tie(a.partition, a.first) < std::tie(b.partition, b.first);
    });
    for (std::size_t i = 1; i < extents.size(); ++i) {
        const Extent& before = extents[i - 1];
        const Extent& after = extents[i];
        if (before.partition == after.partition && after.first < before.end) {
            const ProgramRegion& a = *before.region;
            const ProgramRegion& b = *after.region;
            error = Place(file, "program", b.element, b.label)
                        .Error("overlaps <program> " + std::to_string(a.element) +
                               (a.label.empty() ? "" : " (" + a.label + ")"));
            return false;
        }
    }
    return true;
}

}  // namespace

std::uint64_t RawProgramPlan::TotalBytes() const {
    std::uint64_t total = 0;
    for (const ProgramRegion& region : regions)
        total += region.bytes;
    return total;
}

std::set<std::uint32_t> RawProgramLayout::PhysicalPartitions() const {
    std::set<std::uint32_t> partitions;
    for (const Program& program : programs)
        partitions.insert(program.region.physical_partition);
    for (const Patch& patch : patches)
        partitions.insert(patch.patch.physical_partition);
    return partitions;
}

std::optional<RawProgramPlan> RawProgramLayout::Resolve(const PartitionSizes& sizes,
                                                        std::string& error) const {
    RawProgramPlan plan;
    for (const Program& program : programs) {
        ProgramRegion region = program.region;
        const Place place(rawprogram_name, "program", region.element, region.label);
        const auto size =
            PartitionSize(sizes, region.physical_partition, region.sector_size, place, error);
        const auto start =
            size ? Sectors(program.start, *size, "start_sector", place, error) : std::nullopt;
        if (!start)
            return std::nullopt;
        if (*start > *size || region.sectors > *size - *start) {
            error = place.Error(region.file_name + " at sector " + std::to_string(*start) + " (" +
                                std::to_string(region.sectors) + " sectors) ends past " +
                                PartitionEnd(region.physical_partition, *size));
            return std::nullopt;
        }
        region.start_sector = *start;
        plan.regions.push_back(std::move(region));
    }
    if (!CheckOverlaps(rawprogram_name, plan.regions, error))
        return std::nullopt;

    for (const Patch& entry : patches) {
        DiskPatch patch = entry.patch;
        const Place place(patch_name, "patch", patch.element, {});
        const auto size =
            PartitionSize(sizes, patch.physical_partition, patch.sector_size, place, error);
        const auto start =
            size ? Sectors(entry.start, *size, "start_sector", place, error) : std::nullopt;
        if (!start)
            return std::nullopt;
        if (*start >= *size) {
            error = place.Error("sector " + std::to_string(*start) + " lies past " +
                                PartitionEnd(patch.physical_partition, *size));
            return std::nullopt;
        }
        patch.start_sector = *start;
        if (!patch.crc) {
            const auto number = Sectors(entry.value, *size, "value", place, error);
            if (!number)
                return std::nullopt;
            patch.number = *number;
        } else {
            const auto crc_start = Sectors(entry.crc_start, *size, "CRC32 start", place, error);
            const auto crc_bytes =
                crc_start ? Sectors(entry.crc_length, *size, "CRC32 length", place, error)
                          : std::nullopt;
            if (!crc_bytes)
                return std::nullopt;
            const std::uint64_t room =
                *crc_start < *size ? (*size - *crc_start) * patch.sector_size : 0;
            if (*crc_bytes == 0 || *crc_bytes > room) {
                error =
                    place.Error("CRC32 of " + std::to_string(*crc_bytes) + " bytes from sector " +
                                std::to_string(*crc_start) + " does not lie within " +
                                PartitionEnd(patch.physical_partition, *size));
                return std::nullopt;
            }
            patch.crc_start_sector = *crc_start;
            patch.crc_bytes = *crc_bytes;
        }
        plan.patches.push_back(std::move(patch));
    }
    return plan;
}

std::optional<RawProgramLayout> ParseRawProgram(const std::string& image_folder,
                                                std::string_view rawprogram_name,
                                                std::string_view rawprogram_text,
                                                std::string_view patch_name,
                                                std::string_view patch_text, std::string& error,
                                                std::string* missing_file) {
    if (missing_file != nullptr)
        missing_file->clear();
    RawProgramLayout layout;
    layout.rawprogram_name = rawprogram_name;
    layout.patch_name = patch_name;
    const auto program_root = DocumentElement(rawprogram_name, rawprogram_text, error);
    if (!program_root)
        return std::nullopt;
    int number = 0;
    for (const XmlElement& node : program_root->children) {
        if (node.name != "program")
            continue;
        ++number;
        const Place place(rawprogram_name, "program", number, node.Value("label"));
        if (!ReadProgram(node, image_folder, place, number, layout, error, missing_file))
            return std::nullopt;
    }
    if (patch_name.empty())
        return layout;
    const auto patch_root = DocumentElement(patch_name, patch_text, error);
    if (!patch_root)
        return std::nullopt;
    number = 0;
    for (const XmlElement& node : patch_root->children) {
        if (node.name != "patch")
            continue;
        ++number;
        if (!ReadPatch(node, Place(patch_name, "patch", number, {}), number, layout, error))
            return std::nullopt;
    }
    return layout;
}

std::optional<RawProgramLayout> ReadRawProgram(const std::string& image_folder,
                                               const std::string& rawprogram_path,
                                               const std::string& patch_path, std::string& error,
                                               std::string* missing_file) {
    const auto read = [&](const std::string& path) {
        std::string why;
        std::optional<std::string> text = platform::ReadFileBytes(path, kLargestLayoutFile, &why);
        if (!text) {
            error = "cannot read " + path + ": " + why;
            if (missing_file != nullptr)
                *missing_file = path;
        }
        return text;
    };
    const std::string rawprogram_name = std::filesystem::path(rawprogram_path).filename().string();
    const std::optional<std::string> rawprogram = read(rawprogram_path);
    if (!rawprogram)
        return std::nullopt;
    if (patch_path.empty()) {
        return ParseRawProgram(image_folder, rawprogram_name, *rawprogram, {}, {}, error,
                               missing_file);
    }
    const std::string patch_name = std::filesystem::path(patch_path).filename().string();
    const std::optional<std::string> patch = read(patch_path);
    if (!patch)
        return std::nullopt;
    return ParseRawProgram(image_folder, rawprogram_name, *rawprogram, patch_name, *patch, error,
                           missing_file);
}

std::optional<std::uint64_t> PatchValue(const DiskPatch& patch, SectorSource& target,
                                        std::string& error) {
    if (!patch.crc)
        return patch.number;
    const std::uint64_t piece_sectors =
        std::max<std::uint64_t>(1, kCrcPieceBytes / patch.sector_size);
    std::vector<std::uint8_t> piece;
    Crc32 crc;
    std::uint64_t sector = patch.crc_start_sector;
    for (std::uint64_t left = patch.crc_bytes; left > 0;) {
        const std::uint64_t sectors =
            std::min(piece_sectors, (left + patch.sector_size - 1) / patch.sector_size);
        piece.resize(sectors * patch.sector_size);
        if (!target.ReadSectors(patch.physical_partition, sector, patch.sector_size, piece, error))
            return std::nullopt;
        const std::uint64_t used = std::min<std::uint64_t>(left, piece.size());
        crc.Update(std::span(piece).first(used));
        left -= used;
        sector += sectors;
    }
    return crc.value();
}

void ApplyPatch(const DiskPatch& patch, std::uint64_t value, std::span<std::uint8_t> sector) {
    for (std::uint32_t i = 0; i < patch.size; ++i)
        sector[patch.byte_offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace fendrel::qcom
