#include "sim/imageset/image_set.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "platform/byte_order.h"
#include "platform/paths.h"
#include "qcom/crc32.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kSector = kImageSetSectorBytes;
constexpr std::uint64_t kAlignSectors = 2048;  // partitions start on 1 MiB boundaries
constexpr std::uint64_t kGptEntries = 128;
constexpr std::uint64_t kEntryBytes = 128;
constexpr std::uint64_t kEntrySectors = kGptEntries * kEntryBytes / kSector;
constexpr std::uint64_t kPrimarySectors = 2 + kEntrySectors;  // protective MBR, header, entries
constexpr std::uint64_t kBackupSectors = kEntrySectors + 1;   // entries, header
constexpr std::uint32_t kGptHeaderBytes = 92;

// GPT header fields.
constexpr std::size_t kHeaderCrc = 16, kMyLba = 24, kAlternateLba = 32, kFirstUsable = 40,
                      kLastUsable = 48, kDiskGuid = 56, kEntriesLba = 72, kEntryCount = 80,
                      kEntrySize = 84, kEntriesCrc = 88;
// GPT entry fields.
constexpr std::size_t kUniqueGuid = 16, kFirstLba = 32, kLastLba = 40, kName = 56;
constexpr std::size_t kNameChars = 36;
// A basic data partition.
constexpr std::uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                         0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};

// A programmer's code lies at this offset of the stand-in ELF image.
constexpr std::uint32_t kProgrammerCode = 0x1000;

struct Partition {
    std::string label;
    std::string file;           // empty: none
    std::uint64_t bytes = 0;    // the file's size
    std::uint64_t first = 0;    // sector
    std::uint64_t sectors = 0;  // in the GPT; the last partition grows to the end
};

struct Layout {
    std::uint64_t disk_sectors = 0;
    std::vector<Partition> partitions;
    std::uint64_t LastUsable() const { return disk_sectors - kBackupSectors - 1; }
    std::uint64_t BackupStart() const { return disk_sectors - kBackupSectors; }
};

void Store64(std::uint8_t* at, std::uint64_t value) {
    platform::StoreLe32(at, static_cast<std::uint32_t>(value));
    platform::StoreLe32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t step) {
    return (value + step - 1) / step * step;
}

std::optional<Layout> Plan(const ImageSetOptions& options, std::string& error) {
    Layout layout;
    layout.disk_sectors = options.disk_bytes / kSector;
    const std::uint64_t sbl1 = 256 << 10, aboot = (512 << 10) - 300;  // aboot ends mid-sector
    const std::uint64_t quarter = options.data_bytes / 4;
    const std::uint64_t fixed = sbl1 + aboot + 2 * quarter;
    if (options.data_bytes <= fixed) {
        error = "the images need more than " + std::to_string(fixed) + " bytes";
        return std::nullopt;
    }
    const struct {
        const char* label;
        std::uint64_t bytes;
    } images[] = {{"sbl1", sbl1},    {"aboot", aboot},
                  {"boot", quarter}, {"modem", quarter + 1000},
                  {"misc", 0},       {"system", options.data_bytes - fixed - 1000}};
    std::uint64_t next = kAlignSectors;
    for (const auto& image : images) {
        Partition partition;
        partition.label = image.label;
        partition.bytes = image.bytes;
        partition.file = image.bytes == 0 ? "" : std::string(image.label) + ".img";
        partition.first = next;
        partition.sectors =
            RoundUp(std::max<std::uint64_t>(image.bytes, 1), kAlignSectors * kSector) / kSector;
        next += partition.sectors;
        layout.partitions.push_back(partition);
    }
    Partition& last = layout.partitions.back();
    const std::uint64_t last_needs = RoundUp(last.bytes, kSector) / kSector;
    if (layout.disk_sectors < kBackupSectors + 1 ||
        last.first + last_needs > layout.BackupStart()) {
        error = "a disk of " + std::to_string(options.disk_bytes) + " bytes cannot hold " +
                std::to_string(options.data_bytes) + " bytes of images";
        return std::nullopt;
    }
    last.sectors = layout.LastUsable() + 1 - last.first;
    return layout;
}

Bytes RandomBytes(std::uint64_t count, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    Bytes bytes(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        const std::uint64_t word = random();
        for (std::size_t j = 0; j < 8 && i + j < bytes.size(); ++j)
            bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    return bytes;
}

Bytes Guid(std::uint64_t seed) {
    return RandomBytes(16, seed);
}

// The partition entries (kEntrySectors sectors). Placeholders: the growing partition's end.
Bytes Entries(const Layout& layout, std::uint32_t seed, bool final) {
    Bytes entries(kEntrySectors * kSector, 0);
    for (std::size_t i = 0; i < layout.partitions.size(); ++i) {
        const Partition& partition = layout.partitions[i];
        std::uint8_t* entry = entries.data() + i * kEntryBytes;
        std::copy(std::begin(kBasicData), std::end(kBasicData), entry);
        const Bytes unique = Guid(seed * 1000 + i + 1);
        std::copy(unique.begin(), unique.end(), entry + kUniqueGuid);
        Store64(entry + kFirstLba, partition.first);
        const bool grows = i + 1 == layout.partitions.size();
        Store64(entry + kLastLba, grows && !final ? 0 : partition.first + partition.sectors - 1);
        for (std::size_t c = 0; c < partition.label.size() && c < kNameChars; ++c)
            entry[kName + 2 * c] = static_cast<std::uint8_t>(partition.label[c]);
    }
    return entries;
}

// A GPT header sector; placeholders for whatever depends on the disk's size (and every CRC).
Bytes Header(const Layout& layout, std::uint32_t seed, bool backup, const Bytes& entries,
             bool final) {
    Bytes header(kSector, 0);
    std::uint8_t* h = header.data();
    const char signature[] = "EFI PART";
    std::copy(signature, signature + 8, h);
    platform::StoreLe32(h + 8, 0x00010000);
    platform::StoreLe32(h + 12, kGptHeaderBytes);
    const std::uint64_t backup_lba = layout.disk_sectors - 1;
    Store64(h + kMyLba, backup ? (final ? backup_lba : 0) : 1);
    Store64(h + kAlternateLba, backup ? 1 : (final ? backup_lba : 0));
    Store64(h + kFirstUsable, kPrimarySectors);
    Store64(h + kLastUsable, final ? layout.LastUsable() : 0);
    const Bytes disk = Guid(seed * 1000);
    std::copy(disk.begin(), disk.end(), h + kDiskGuid);
    Store64(h + kEntriesLba, backup ? (final ? layout.BackupStart() : 0) : 2);
    platform::StoreLe32(h + kEntryCount, kGptEntries);
    platform::StoreLe32(h + kEntrySize, kEntryBytes);
    if (final) {
        platform::StoreLe32(h + kEntriesCrc, fendrel::qcom::Crc32Of(entries));
        platform::StoreLe32(h + kHeaderCrc,
                            fendrel::qcom::Crc32Of(std::span(header).first(kGptHeaderBytes)));
    }
    return header;
}

Bytes ProtectiveMbr(const Layout& layout) {
    Bytes mbr(kSector, 0);
    std::uint8_t* entry = mbr.data() + 446;
    entry[1] = 0x00;
    entry[2] = 0x02;
    entry[4] = 0xEE;
    entry[5] = entry[6] = entry[7] = 0xFF;
    platform::StoreLe32(entry + 8, 1);
    platform::StoreLe32(entry + 12, static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                        layout.disk_sectors - 1, 0xFFFFFFFF)));
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    return mbr;
}

Bytes PrimaryGpt(const Layout& layout, std::uint32_t seed, bool final) {
    const Bytes entries = Entries(layout, seed, final);
    Bytes gpt = ProtectiveMbr(layout);
    const Bytes header = Header(layout, seed, false, entries, final);
    gpt.insert(gpt.end(), header.begin(), header.end());
    gpt.insert(gpt.end(), entries.begin(), entries.end());
    return gpt;
}

Bytes BackupGpt(const Layout& layout, std::uint32_t seed, bool final) {
    Bytes gpt = Entries(layout, seed, final);
    const Bytes header = Header(layout, seed, true, gpt, final);
    gpt.insert(gpt.end(), header.begin(), header.end());
    return gpt;
}

bool WriteBytes(const std::string& path, const Bytes& bytes, std::string& error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::string Program(const std::string& file, const std::string& label, std::uint64_t sectors,
                    const std::string& start) {
    std::ostringstream line;
    line << "  <program SECTOR_SIZE_IN_BYTES=\"" << kSector << "\" file_sector_offset=\"0\" "
         << "filename=\"" << file << "\" label=\"" << label << "\" num_partition_sectors=\""
         << sectors << "\" physical_partition_number=\"0\" sparse=\"false\" start_sector=\""
         << start << "\"/>\n";
    return line.str();
}

std::string RawProgramXml(const Layout& layout) {
    std::string xml = "<?xml version=\"1.0\" ?>\n<data>\n";
    xml += Program("gpt_main0.bin", "PrimaryGPT", kPrimarySectors, "0");
    for (std::size_t i = 0; i < layout.partitions.size(); ++i) {
        const Partition& partition = layout.partitions[i];
        const bool grows = i + 1 == layout.partitions.size();
        xml += Program(partition.file, partition.label, grows ? 0 : partition.sectors,
                       std::to_string(partition.first));
    }
    xml += Program("gpt_backup0.bin", "BackupGPT", kBackupSectors,
                   "NUM_DISK_SECTORS-" + std::to_string(kBackupSectors) + ".");
    return xml + "</data>\n";
}

// A patch of the disk, and the same patch of the GPT file that holds the sector, as real image
// sets carry both.
std::string Patch(const std::string& file, const std::string& file_sector,
                  const std::string& disk_sector, std::size_t offset, int size,
                  const std::string& value, const std::string& what) {
    std::string xml;
    for (const auto& [name, sector] :
         {std::pair(file, file_sector), std::pair(std::string("DISK"), disk_sector)}) {
        std::ostringstream line;
        line << "  <patch SECTOR_SIZE_IN_BYTES=\"" << kSector << "\" byte_offset=\"" << offset
             << "\" filename=\"" << name << "\" physical_partition_number=\"0\" size_in_bytes=\""
             << size << "\" start_sector=\"" << sector << "\" value=\"" << value << "\" what=\""
             << what << "\"/>\n";
        xml += line.str();
    }
    return xml;
}

std::string PatchXml(const Layout& layout) {
    const std::string n = "NUM_DISK_SECTORS-";
    const std::string last_usable = n + std::to_string(kBackupSectors + 1) + ".";
    const std::string backup_header = n + "1.";
    const std::string backup_entries = n + std::to_string(kBackupSectors) + ".";
    const std::uint64_t grows = layout.partitions.size() - 1;
    const std::uint64_t entry_sector = grows * kEntryBytes / kSector;
    const std::size_t entry_offset = grows * kEntryBytes % kSector + kLastLba;
    const std::string entries_bytes = std::to_string(kEntrySectors * kSector);
    std::string xml = "<?xml version=\"1.0\" ?>\n<patches>\n";
    xml +=
        Patch("gpt_main0.bin", std::to_string(2 + entry_sector), std::to_string(2 + entry_sector),
              entry_offset, 8, last_usable, "Last partition grows to the end, primary entries.");
    xml += Patch("gpt_backup0.bin", std::to_string(entry_sector),
                 n + std::to_string(kBackupSectors - entry_sector) + ".", entry_offset, 8,
                 last_usable, "Last partition grows to the end, backup entries.");
    xml += Patch("gpt_main0.bin", "1", "1", kLastUsable, 8, last_usable,
                 "Primary header: last usable.");
    xml += Patch("gpt_backup0.bin", std::to_string(kEntrySectors), backup_header, kLastUsable, 8,
                 last_usable, "Backup header: last usable.");
    xml += Patch("gpt_main0.bin", "1", "1", kAlternateLba, 8, backup_header,
                 "Primary header: where the backup header lies.");
    xml += Patch("gpt_backup0.bin", std::to_string(kEntrySectors), backup_header, kMyLba, 8,
                 backup_header, "Backup header: its own place.");
    xml += Patch("gpt_backup0.bin", std::to_string(kEntrySectors), backup_header, kEntriesLba, 8,
                 backup_entries, "Backup header: where the backup entries lie.");
    xml += Patch("gpt_main0.bin", "1", "1", kEntriesCrc, 4, "CRC32(2," + entries_bytes + ")",
                 "Primary header: CRC of the entries.");
    xml += Patch("gpt_backup0.bin", std::to_string(kEntrySectors), backup_header, kEntriesCrc, 4,
                 "CRC32(" + backup_entries + "," + entries_bytes + ")",
                 "Backup header: CRC of the entries.");
    xml += Patch("gpt_main0.bin", "1", "1", kHeaderCrc, 4, "0", "Primary header: CRC zeroed.");
    xml += Patch("gpt_main0.bin", "1", "1", kHeaderCrc, 4,
                 "CRC32(1," + std::to_string(kGptHeaderBytes) + ")", "Primary header: its CRC.");
    xml += Patch("gpt_backup0.bin", std::to_string(kEntrySectors), backup_header, kHeaderCrc, 4,
                 "0", "Backup header: CRC zeroed.");
    xml += Patch("gpt_backup0.bin", std::to_string(kEntrySectors), backup_header, kHeaderCrc, 4,
                 "CRC32(" + backup_header + "," + std::to_string(kGptHeaderBytes) + ")",
                 "Backup header: its CRC.");
    return xml + "</patches>\n";
}

Bytes PartitionImage(const Partition& partition, std::uint32_t seed, std::size_t index) {
    return RandomBytes(partition.bytes, (std::uint64_t{seed} << 16) + index);
}

}  // namespace

std::vector<std::uint8_t> StandInProgrammer(std::uint32_t data_bytes, std::uint32_t seed) {
    Bytes image = RandomBytes(kProgrammerCode + data_bytes, seed);
    std::fill(image.begin(), image.begin() + kProgrammerCode, 0);
    std::uint8_t* h = image.data();
    const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, 1, 1};
    std::copy(std::begin(ident), std::end(ident), h);
    platform::StoreLe16(h + 16, 2);     // an executable
    platform::StoreLe16(h + 18, 0x28);  // for ARM
    platform::StoreLe32(h + 20, 1);
    platform::StoreLe32(h + 24, 0x08000000);  // entry
    platform::StoreLe32(h + 28, 52);          // program headers
    platform::StoreLe16(h + 40, 52);
    platform::StoreLe16(h + 42, 32);
    platform::StoreLe16(h + 44, 1);
    std::uint8_t* segment = h + 52;
    platform::StoreLe32(segment, 1);  // loadable
    platform::StoreLe32(segment + 4, kProgrammerCode);
    platform::StoreLe32(segment + 8, 0x08000000);
    platform::StoreLe32(segment + 12, 0x08000000);
    platform::StoreLe32(segment + 16, data_bytes);
    platform::StoreLe32(segment + 20, data_bytes);
    platform::StoreLe32(segment + 24, 5);  // read and execute
    platform::StoreLe32(segment + 28, kProgrammerCode);
    return image;
}

bool MakeImageSet(const ImageSetOptions& options, std::string& error) {
    const std::optional<Layout> layout = Plan(options, error);
    if (!layout)
        return false;
    std::error_code made;
    std::filesystem::create_directories(options.folder, made);
    const auto path = [&](const std::string& name) {
        return platform::JoinPath(options.folder, name);
    };
    constexpr std::uint32_t kProgrammerBytes = 96 << 10;
    if (!WriteBytes(path("gpt_main0.bin"), PrimaryGpt(*layout, options.seed, false), error) ||
        !WriteBytes(path("gpt_backup0.bin"), BackupGpt(*layout, options.seed, false), error) ||
        !WriteBytes(path(options.programmer), StandInProgrammer(kProgrammerBytes, options.seed),
                    error))
        return false;
    for (std::size_t i = 0; i < layout->partitions.size(); ++i) {
        const Partition& partition = layout->partitions[i];
        if (!partition.file.empty() &&
            !WriteBytes(path(partition.file), PartitionImage(partition, options.seed, i), error))
            return false;
    }
    const std::string rawprogram = RawProgramXml(*layout);
    const std::string patch = PatchXml(*layout);
    return WriteBytes(path("rawprogram0.xml"), Bytes(rawprogram.begin(), rawprogram.end()),
                      error) &&
           WriteBytes(path("patch0.xml"), Bytes(patch.begin(), patch.end()), error);
}

bool WriteExpectedDisk(const ImageSetOptions& options, const std::string& path,
                       std::string& error) {
    const std::optional<Layout> layout = Plan(options, error);
    if (!layout)
        return false;
    std::fstream disk(path, std::ios::binary | std::ios::out | std::ios::trunc);
    const auto put = [&](std::uint64_t sector, const Bytes& bytes) {
        disk.seekp(static_cast<std::streamoff>(sector * kSector));
        disk.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    put(0, PrimaryGpt(*layout, options.seed, true));
    for (std::size_t i = 0; i < layout->partitions.size(); ++i) {
        const Partition& partition = layout->partitions[i];
        if (!partition.file.empty())
            put(partition.first, PartitionImage(partition, options.seed, i));
    }
    put(layout->BackupStart(), BackupGpt(*layout, options.seed, true));
    disk.close();
    std::error_code resized;
    std::filesystem::resize_file(path, layout->disk_sectors * kSector, resized);
    if (!disk || resized) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace sim
