#include "flashlibs/support/ram_programmer.h"

#include <filesystem>

#include "engine/intel_hex.h"
#include "platform/files.h"

namespace fendrel::flashlibs {
namespace {

std::optional<std::uint32_t> KnownLoadAddressOf(const std::string& programmer) {
    const std::string name = std::filesystem::path(programmer).stem().string();
    for (const auto& known : kKnownLoadAddresses) {
        if (known.name == name)
            return known.address;
    }
    return std::nullopt;
}

}  // namespace

std::optional<RamProgrammer> LoadRamProgrammer(const ImageSet& image_set, std::string& error) {
    const bool bin = image_set.programmer != image_set.hex;
    const std::optional<std::string> file = platform::ReadFileBytes(
        image_set.programmer, bin ? kLargestRamProgrammer : kMaxHexFileSize, &error);
    if (!file)
        return std::nullopt;
    RamProgrammer programmer;
    std::string bytes = *file;
    std::optional<std::string> hex_text;
    if (!bin) {
        hex_text = file;
        if (ConvertHexText(*hex_text, bytes) == kHexNoEndRecord) {
            error = image_set.hex + " has no end record";
            return std::nullopt;
        }
    } else if (!image_set.hex.empty()) {
        hex_text = platform::ReadFileBytes(image_set.hex, kMaxHexFileSize, &error);
        if (!hex_text)
            return std::nullopt;
    }
    if (hex_text) {
        const std::optional<HexLayout> layout = ReadHexLayout(*hex_text);
        if (!layout || !layout->contiguous || layout->data_bytes != bytes.size()) {
            error = image_set.hex + " does not hold one block of data its binary holds whole";
            return std::nullopt;
        }
        programmer.load_address = layout->load_address;
        programmer.start_address = layout->entry.value_or(layout->load_address);
    } else {
        const std::optional<std::uint32_t> known = KnownLoadAddressOf(image_set.programmer);
        if (!known) {
            error = "no load address is known for " + image_set.programmer;
            return std::nullopt;
        }
        programmer.load_address = *known;
        programmer.start_address = *known;
    }
    if (bytes.empty() || std::uint64_t{programmer.load_address} + bytes.size() > 0x100000000ull) {
        error = image_set.programmer + " does not fit the address space";
        return std::nullopt;
    }
    programmer.image.assign(bytes.begin(), bytes.end());
    return programmer;
}

}  // namespace fendrel::flashlibs
