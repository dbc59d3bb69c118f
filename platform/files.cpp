// The file services that need nothing of the system beyond the backend's input and staged files.
#include <algorithm>

#include "platform/files.h"

namespace platform {
namespace {

// Whole files are read in pieces of this size, so that a file whose length the system does not
// know ahead is never read into one huge allocation.
constexpr std::size_t kReadPiece = 64 * 1024;

}  // namespace

std::optional<std::string> ReadFileBytes(const std::string& path, std::size_t max_size,
                                         std::string* error) {
    const std::unique_ptr<InputFile> file = OpenInputFile(path, error);
    if (file == nullptr)
        return std::nullopt;
    const auto too_long = [&] {
        if (error != nullptr) {
            *error = path + " is longer than " + std::to_string(max_size) +
                     " bytes, more than such a file may hold";
        }
        return std::nullopt;
    };
    if (file->size() > max_size)
        return too_long();
    std::string bytes;
    // Room for the last read too, which finds the end: the bytes are never moved.
    bytes.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(file->size() + kReadPiece, std::uint64_t{max_size} + 1)));
    for (;;) {
        // One byte beyond the bound tells a file that grew past it while it was read.
        const std::size_t held = bytes.size();
        const std::size_t wanted = std::min(kReadPiece, max_size - held + 1);
        bytes.resize(held + wanted);
        const std::optional<std::size_t> got = file->Read(bytes.data() + held, wanted);
        if (!got) {
            if (error != nullptr)
                *error = file->error();
            return std::nullopt;
        }
        bytes.resize(held + *got);
        if (bytes.size() > max_size)
            return too_long();
        if (*got < wanted)
            return bytes;
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         Durability durability) {
    const std::unique_ptr<StagedFile> file = CreateStagedFile(path, error, durability);
    if (file == nullptr)
        return false;
    if (file->Append(bytes) && file->Commit())
        return true;
    if (error != nullptr)
        *error = file->error();
    return false;
}

}  // namespace platform
