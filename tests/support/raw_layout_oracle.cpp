#include "tests/support/raw_layout_oracle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <regex>

#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

using Attributes = std::map<std::string, std::string>;

// Every element `tag` of `xml`, as its attributes.
std::vector<Attributes> Elements(std::string_view xml, const std::string& tag) {
    std::vector<Attributes> elements;
    const std::string text(xml);
    const std::regex element("<" + tag + R"(\s([^>]*?)/?>)");
    const std::regex attribute(R"re(([A-Za-z_]+)="([^"]*)")re");
    for (auto found = std::sregex_iterator(text.begin(), text.end(), element);
         found != std::sregex_iterator(); ++found) {
        Attributes attributes;
        const std::string inside = (*found)[1];
        for (auto pair = std::sregex_iterator(inside.begin(), inside.end(), attribute);
             pair != std::sregex_iterator(); ++pair)
            attributes[(*pair)[1]] = (*pair)[2];
        elements.push_back(std::move(attributes));
    }
    return elements;
}

// A sector number: "34", "34.", "NUM_DISK_SECTORS-33.".
std::uint64_t Sector(const std::string& text, std::uint64_t disk_sectors) {
    static const std::regex relative(R"(NUM_DISK_SECTORS-(\d+)\.?)");
    std::smatch match;
    if (std::regex_match(text, match, relative))
        return disk_sectors - std::stoull(match[1]);
    if (text == "NUM_DISK_SECTORS")
        return disk_sectors;
    return std::stoull(text);
}

void PutLittleEndian(std::string& disk, std::uint64_t offset, std::uint64_t value,
                     std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        disk[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320u : 0u);
    }
    return crc ^ 0xFFFFFFFF;
}

std::string ExpectedDisk(std::string disk, const std::string& folder, std::string_view rawprogram,
                         std::string_view patch) {
    for (const Attributes& program : Elements(rawprogram, "program")) {
        const std::string name = program.at("filename");
        if (name.empty())
            continue;
        const std::uint64_t sector_size = std::stoull(program.at("SECTOR_SIZE_IN_BYTES"));
        const std::uint64_t start = Sector(program.at("start_sector"), disk.size() / sector_size);
        const std::uint64_t skip = program.count("file_sector_offset") != 0
                                       ? std::stoull(program.at("file_sector_offset"))
                                       : 0;
        const std::string file = ReadFile(folder + name);
        const std::string data =
            file.substr(std::min<std::size_t>(skip * sector_size, file.size()));
        const std::uint64_t padded = (data.size() + sector_size - 1) / sector_size * sector_size;
        std::string region = data + std::string(padded - data.size(), '\0');
        disk.replace(start * sector_size, region.size(), region);
    }
    static const std::regex crc(R"(CRC32\(([^,]+),(\d+)\.?\))");
    for (const Attributes& field : Elements(patch, "patch")) {
        if (field.at("filename") != "DISK")
            continue;
        const std::uint64_t sector_size = std::stoull(field.at("SECTOR_SIZE_IN_BYTES"));
        const std::uint64_t sectors = disk.size() / sector_size;
        const std::string& value = field.at("value");
        std::smatch match;
        std::uint64_t number;
        if (std::regex_match(value, match, crc)) {
            const std::uint64_t from = Sector(match[1], sectors) * sector_size;
            number = Crc32(std::string_view(disk).substr(from, std::stoull(match[2])));
        } else {
            number = Sector(value, sectors);
        }
        PutLittleEndian(disk,
                        Sector(field.at("start_sector"), sectors) * sector_size +
                            std::stoull(field.at("byte_offset")),
                        number, std::stoull(field.at("size_in_bytes")));
    }
    return disk;
}

}  // namespace fendrel::testing
